#include "app/news_command.h"

#include "app/console_report.h"
#include "win/engine/news_feed.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

void PrintDocument(const std::wstring& kind, const NewsDocument& document) {
    const std::wstring key = L"NEWS_" + kind;
    PrintField(key + L"_ITEMS", FormatDecimal(document.items.size()));
    if (document.truncated) PrintField(key + L"_TRUNCATED", L"1");
    for (std::size_t i = 0; i < document.items.size(); ++i) {
        const NewsItem& item = document.items[i];
        const std::wstring number = FormatDecimal(i + 1);
        WriteConsoleText(L"  " + key + L"_TITLE " + number + L" " + Utf8ToWide(item.title) +
                         L"\r\n");
        if (!item.date.empty()) {
            WriteConsoleText(L"  " + key + L"_DATE " + number + L" " + Utf8ToWide(item.date) +
                             L"\r\n");
        }
    }
}

}  // namespace

int RunNews(const Arguments& arguments) {
    const PatcherConfig& config = arguments.config;
    const NewsBundle bundle = FetchNews(config.base_url, config.root_key, AcceptedKeysPath(config));
    PrintDocument(L"ANNOUNCE", bundle.announce);
    PrintDocument(L"UPDATES", bundle.updates);
    // Whether the stage art was accepted: the window is the only other place it shows.
    PrintField(L"STAGE_BYTES", FormatDecimal(bundle.stage_jpeg.size()));
    return 0;
}

}  // namespace patcher::app
