#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/news_document.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Result<NewsDocument> doc = ParseNewsDocument(text);
    if (!doc.ok()) {
        fuzz::RequireFailureShape(doc.status());
        fuzz::Require(doc.status().code == StatusCode::BadFormat);
        return 0;
    }
    fuzz::Require(doc.value().items.size() <= kMaxNewsItems);
    for (const NewsItem& item : doc.value().items) {
        fuzz::Require(!item.title.empty() || !item.body.empty());
        fuzz::Require(item.title.size() <= kMaxNewsTitleBytes);
        fuzz::Require(item.body.size() <= kMaxNewsBodyBytes);
        fuzz::Require(item.date.empty() || item.date.size() == 10);
        // Displayed text is always clean, cuts included.
        fuzz::Require(CleanText(false, item.title) == item.title);
        fuzz::Require(CleanText(true, item.body) == item.body);
    }
    const std::string cleaned = CleanText(true, text);
    fuzz::Require(cleaned.size() <= size && CleanText(true, cleaned) == cleaned);
    return 0;
}
