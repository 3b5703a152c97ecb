// The news documents shown in the main window: forgiving UTF-8 text, cleaned of control and
// invisible characters, bounded by hard caps. Items own their strings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher {

inline constexpr std::size_t kMaxNewsDocumentBytes = 16384;
inline constexpr std::size_t kMaxNewsLineBytes = 1024;
inline constexpr std::size_t kMaxNewsItems = 32;
inline constexpr std::size_t kMaxNewsTitleBytes = 128;
inline constexpr std::size_t kMaxNewsBodyLineBytes = 500;
inline constexpr std::size_t kMaxNewsBodyBytes = 4096;
// The stage art, a signed JPEG published beside the news.
inline constexpr std::size_t kMaxStageArtBytes = 2097152;

struct NewsItem {
    std::string title;  // UTF-8
    std::string date;   // empty or NNNN-NN-NN
    std::string body;   // UTF-8, lines separated by LF
};

struct NewsDocument {
    std::vector<NewsItem> items;  // document order
    bool truncated = false;       // items beyond the cap were dropped
};

Result<NewsDocument> ParseNewsDocument(std::string_view document);

// Valid UTF-8 without control, format or invisible characters; LF survives only if asked for.
std::string CleanText(bool keep_line_feeds, std::string_view bytes);

}  // namespace patcher
