// Turns the bytes of a compressed form, as they arrive, into the bytes of its file, one whole
// frame at a time, so that a form refused part-way leaves only whole, checked frames behind.
// Nothing in a form is trusted: a frame must be one zstd frame of exactly its table's compressed
// length, ask for no window larger than kFormFrameMaxBytes, and decode to exactly its table's
// length. What it holds at once is one frame each way, at most about 2 MiB.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/compressed_form.h"

namespace patcher {

class FormDecoder {
  public:
    using Sink = std::function<bool(const char*, std::uint32_t)>;

    // A whole form from its first byte on: its table, then every frame.
    explicit FormDecoder(std::uint64_t file_size);
    // Frames [first, first + count) of a table read before, from the first frame's first byte on;
    // the decoded bytes before `from` are dropped.
    FormDecoder(std::vector<FormFrame> frames, std::uint32_t first, std::uint32_t count,
                std::uint64_t from);
    ~FormDecoder();
    FormDecoder(const FormDecoder&) = delete;
    FormDecoder& operator=(const FormDecoder&) = delete;

    // Hands each decoded frame to `sink`. False once the form is refused (`why` says why) or the
    // sink stops (`why` stays empty); every call after that is refused too.
    bool Feed(const char* bytes, std::size_t size, const Sink& sink);
    // Every frame asked for was decoded and handed on.
    bool done() const { return !failed_ && table_read_ && next_ == end_ && pending_.empty(); }
    const std::string& why() const { return why_; }

  private:
    struct Context;
    bool ReadTable();
    bool DecodeFrame(const Sink& sink);
    bool Refuse(std::string reason);

    std::unique_ptr<Context> context_;
    std::uint64_t file_size_ = 0;
    std::vector<FormFrame> frames_;
    bool table_read_ = false;
    std::size_t table_length_ = 0;  // once the head has said it
    std::uint32_t next_ = 0, end_ = 0;
    std::uint64_t from_ = 0;
    std::string pending_;  // the table, then the frame being received
    std::vector<char> decoded_;
    bool failed_ = false;
    std::string why_;
};

}  // namespace patcher
