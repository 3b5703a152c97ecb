#include "core/news_document.h"

#include <cstdint>

#include "core/utf8.h"

namespace patcher {
namespace {

// Controls, and characters that are invisible or reorder text, which could disguise what a
// player reads.
bool IsHiddenCharacter(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || c == 0x61C ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0xE0000 && c <= 0xE007F);
}

void CutToCharacterBoundary(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}

std::string_view Trim(std::string_view line) {
    // The end first: a line of blanks followed by CRs trims to nothing.
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (last == std::string_view::npos) return {};
    const std::size_t first = line.find_first_not_of(" \t");
    return line.substr(first, last - first + 1);
}

std::vector<std::string_view> CutAtLineFeeds(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', start);
        lines.push_back(text.substr(start, lf == std::string_view::npos ? lf : lf - start));
        if (lf == std::string_view::npos) return lines;
        start = lf + 1;
    }
}

bool IsNewsDate(std::string_view date) {
    if (date.size() != 10) return false;
    for (std::size_t i = 0; i < date.size(); ++i) {
        const bool ok = (i == 4 || i == 7) ? date[i] == '-' : (date[i] >= '0' && date[i] <= '9');
        if (!ok) return false;
    }
    return true;
}

class NewsBuilder {
  public:
    void Open() {
        Close();
        item_ = NewsItem{};
        open_ = true;
    }

    void Close() {
        if (!open_) return;
        open_ = false;
        if (document_.items.size() < kMaxNewsItems) {
            document_.items.push_back(std::move(item_));
        } else {
            document_.truncated = true;
        }
    }

    void Apply(std::string_view key, std::string_view value) {
        if (key == "item") return Open();
        if (!open_) return;
        if (key == "title") {
            item_.title = CleanText(false, value);
            CutToCharacterBoundary(item_.title, kMaxNewsTitleBytes);
        } else if (key == "date") {
            std::string date = CleanText(false, value);
            item_.date = IsNewsDate(date) ? std::move(date) : std::string();
        } else if (key == "body") {
            AppendBodyLine(value);
        }
    }

    NewsDocument Finish() {
        Close();
        std::erase_if(document_.items,
                      [](const NewsItem& item) { return item.title.empty() && item.body.empty(); });
        return std::move(document_);
    }

  private:
    void AppendBodyLine(std::string_view value) {
        std::string& body = item_.body;
        if (body.size() >= kMaxNewsBodyBytes) return;
        std::string line = CleanText(false, value);
        CutToCharacterBoundary(line, kMaxNewsBodyLineBytes);
        if (!body.empty()) body += '\n';
        body += line;
        CutToCharacterBoundary(body, kMaxNewsBodyBytes);
    }

    NewsDocument document_;
    NewsItem item_;
    bool open_ = false;
};

NewsDocument PlainNews(std::string_view text) {
    NewsDocument document;
    std::string body = CleanText(true, text);
    CutToCharacterBoundary(body, kMaxNewsBodyBytes);
    if (body.find_first_not_of(" \t\n\r") != std::string::npos) {
        document.items.push_back(NewsItem{std::string(), std::string(), std::move(body)});
    }
    return document;
}

}  // namespace

std::string CleanText(bool keep_line_feeds, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        std::uint32_t code_point = 0;
        const std::size_t length = DecodeUtf8(bytes, code_point);
        if (length == 0) {
            bytes.remove_prefix(1);
            continue;
        }
        const bool keep = code_point == '\n' ? keep_line_feeds : !IsHiddenCharacter(code_point);
        if (keep) out.append(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return out;
}

Result<NewsDocument> ParseNewsDocument(std::string_view document) {
    if (document.size() > kMaxNewsDocumentBytes) {
        return Status(StatusCode::BadFormat, "news document is larger than the cap (" +
                                                 std::to_string(document.size()) + " bytes)");
    }
    if (document.starts_with("\xEF\xBB\xBF")) document.remove_prefix(3);
    const std::vector<std::string_view> lines = CutAtLineFeeds(document);

    std::size_t marker = 0;
    while (marker < lines.size() && Trim(lines[marker]).empty()) ++marker;
    if (marker == lines.size() || Trim(lines[marker]) != "news 1") return PlainNews(document);

    NewsBuilder builder;
    for (std::size_t i = marker; i < lines.size(); ++i) {
        if (lines[i].size() > kMaxNewsLineBytes) {
            return Status(StatusCode::BadFormat,
                          "news line " + std::to_string(i + 1) + " is longer than the cap");
        }
        const std::string_view trimmed = Trim(lines[i]);
        if (trimmed.empty()) continue;
        const std::size_t separator = trimmed.find_first_of(" \t");
        const std::string_view key = trimmed.substr(0, separator);
        const std::string_view value = separator == std::string_view::npos
                                           ? std::string_view()
                                           : Trim(trimmed.substr(separator + 1));
        builder.Apply(key, value);
    }
    return builder.Finish();
}

}  // namespace patcher
