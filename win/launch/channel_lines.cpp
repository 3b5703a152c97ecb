#include "win/launch/channel_lines.h"

namespace patcher::win {

void ChannelLineSplitter::Feed(std::string_view chunk, std::vector<std::string>& lines) {
    if (pending_.size() + chunk.size() > kMaxChannelPendingBytes) {
        // The text waiting for its LF is too long to be a line whatever follows. It goes with the
        // chunk, but only up to the chunk's first LF: a KEYREQ or note after it is a line of its
        // own, and how the pipe happened to cut the writes must not decide whether it is seen.
        pending_.clear();
        const std::size_t lf = chunk.find('\n');
        if (lf == std::string_view::npos) return;
        chunk.remove_prefix(lf + 1);
    }
    pending_.append(chunk);
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::size_t length = end - start;
        if (length > 0 && pending_[end - 1] == '\r') --length;
        if (length <= kMaxChannelLineBytes) lines.emplace_back(pending_, start, length);
    }
    pending_.erase(0, start);
}

bool RecordChannelLine(ChannelRecord& record, const std::string& line) {
    ++record.lines;
    if (line == "KEYREQ") {
        ++record.requests;
        return true;
    }
    if (line.rfind("NOTE ", 0) == 0 && record.notes.size() < kMaxChannelNotes) {
        record.notes.push_back(line.substr(5));
    }
    return false;
}

}  // namespace patcher::win
