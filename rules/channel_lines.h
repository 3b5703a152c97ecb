// The game-to-patcher side of the key channel as plain data: splitting what the pipe delivers into
// lines, and what one line does to the channel's record. The game is untrusted: a line is bounded,
// and text that never ends a line is dropped rather than kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace patcher::rules {

inline constexpr std::size_t kMaxChannelLineBytes = 1024;
inline constexpr std::size_t kMaxChannelPendingBytes = 8192;
inline constexpr std::size_t kMaxChannelNotes = 64;

class ChannelLineSplitter {
  public:
    // Appends the complete lines of `chunk` (without LF and one trailing CR) to `lines`; lines over
    // 1,024 bytes are left out. A line whose text would exceed 8,192 bytes before its LF is dropped
    // as it arrives, up to that LF, in this chunk or a later one.
    void Feed(std::string_view chunk, std::vector<std::string>& lines);

  private:
    std::string pending_;
    bool discarding_ = false;  // inside a line already known to be too long
};

// Whether the channel reads on after one read of the game's output. A pipe delivers a zero-length
// write as a successful read of 0 bytes, which is not the end of the stream: only a failed read
// (the game's side closed, or the read was abandoned) or the stop ends it.
bool ChannelReadContinues(bool read_ok, std::uint32_t bytes, bool stopping);

// What the channel has seen and done, read by its owner under the channel's lock.
struct ChannelRecord {
    std::vector<std::string> notes;  // texts of NOTE lines, at most 64
    std::uint32_t keys_sent = 0;
    std::uint32_t requests = 0;
    std::uint32_t lines = 0;
    std::uint32_t exit_code = 0;
    bool exit_code_known = false;
};

// Counts one received line and keeps its note; true when it is a key request to answer.
bool RecordChannelLine(ChannelRecord& record, const std::string& line);

}  // namespace patcher::rules
