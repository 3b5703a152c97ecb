#include "rules/channel_lines.h"

namespace patcher::rules {

void ChannelLineSplitter::Feed(std::string_view chunk, std::vector<std::string>& lines) {
    while (!chunk.empty()) {
        const std::size_t lf = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, lf);
        chunk.remove_prefix(lf == std::string_view::npos ? chunk.size() : lf + 1);
        // A line that outgrows the pending limit can never be kept: the rest of it goes, up to its
        // LF, however many reads it takes to arrive. Only then does what follows count as a line,
        // so how the pipe happened to cut the game's writes never decides what is seen.
        if (!discarding_ && pending_.size() + piece.size() > kMaxChannelPendingBytes) {
            pending_.clear();
            discarding_ = true;
        }
        if (!discarding_) pending_.append(piece);
        if (lf == std::string_view::npos) return;
        std::size_t length = pending_.size();
        if (length > 0 && pending_[length - 1] == '\r') --length;
        if (!discarding_ && length <= kMaxChannelLineBytes) lines.emplace_back(pending_, 0, length);
        pending_.clear();
        discarding_ = false;
    }
}

bool ChannelReadContinues(bool read_ok, std::uint32_t /*bytes*/, bool stopping) {
    return read_ok && !stopping;
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

}  // namespace patcher::rules
