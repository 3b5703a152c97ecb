// How far a download has come: what the download hands its progress callback, kept free of
// platform headers so the window's rules can read it anywhere.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::rules {

struct DownloadProgress {
    std::uint32_t file_index = 0;  // 0-based ordinal of the most recently committed file
    std::uint32_t file_count = 0;
    std::string current_path;  // manifest path most recently started or committed
    std::uint64_t bytes_done = 0;
    std::uint64_t bytes_total = 0;    // what is to be fetched: reused bytes are not
    std::uint64_t bytes_fetched = 0;  // body bytes received, chunk indexes included, per file done
    std::uint64_t bytes_reused = 0;   // bytes copied from old copies into committed files
};

}  // namespace patcher::rules
