#include "core/form_decoder.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, to see a frame's window before decoding
#include <zstd.h>

#include <algorithm>

namespace patcher {

struct FormDecoder::Context {
    ZSTD_DCtx* decoder = ZSTD_createDCtx();
    ~Context() { ZSTD_freeDCtx(decoder); }
};

FormDecoder::FormDecoder(std::uint64_t file_size)
    : context_(std::make_unique<Context>()), file_size_(file_size) {}

FormDecoder::FormDecoder(std::vector<FormFrame> frames, std::uint32_t first, std::uint32_t count,
                         std::uint64_t from)
    : context_(std::make_unique<Context>()),
      frames_(std::move(frames)),
      table_read_(true),
      next_(first),
      end_(first + count),
      from_(from) {
    if (end_ < first || end_ > frames_.size()) Refuse("the frames asked for are not in its table");
}

FormDecoder::~FormDecoder() = default;

bool FormDecoder::Refuse(std::string reason) {
    failed_ = true;
    why_ = std::move(reason);
    pending_.clear();
    return false;
}

bool FormDecoder::Feed(const char* bytes, std::size_t size, const Sink& sink) {
    if (failed_) return false;
    if (!context_->decoder) return Refuse("no zstd decoder could be made");
    while (size > 0) {
        std::size_t want = 0;
        if (!table_read_) {
            want = (table_length_ > 0 ? table_length_ : kFormHeadBytes) - pending_.size();
        } else if (next_ == end_) {
            return Refuse("it goes on after its last frame");
        } else {
            want = frames_[next_].form_length - pending_.size();
        }
        const std::size_t take = std::min(want, size);
        pending_.append(bytes, take);
        bytes += take;
        size -= take;
        if (take < want) break;
        if (!table_read_) {
            if (!ReadTable()) return false;
        } else if (!DecodeFrame(sink)) {
            return false;
        }
    }
    return true;
}

// Called with the head, and again with the whole table once the head said how long it is.
bool FormDecoder::ReadTable() {
    if (table_length_ == 0) {
        const std::optional<std::uint64_t> length = ParseFormHead(pending_, file_size_, why_);
        if (!length) return Refuse(why_);
        table_length_ = static_cast<std::size_t>(*length);
        if (table_length_ > pending_.size()) return true;
    }
    std::optional<std::vector<FormFrame>> frames = ParseFormTable(pending_, file_size_, why_);
    if (!frames) return Refuse(why_);
    frames_ = std::move(*frames);
    table_read_ = true;
    end_ = static_cast<std::uint32_t>(frames_.size());
    pending_.clear();
    return true;
}

bool FormDecoder::DecodeFrame(const Sink& sink) {
    const FormFrame& frame = frames_[next_];
    const std::string name = "its frame " + std::to_string(next_);
    if (ZSTD_findFrameCompressedSize(pending_.data(), pending_.size()) != pending_.size()) {
        return Refuse(name + " is not one zstd frame of " + std::to_string(frame.form_length) +
                      " bytes");
    }
    ZSTD_frameHeader header{};
    if (ZSTD_getFrameHeader(&header, pending_.data(), pending_.size()) != 0 ||
        header.frameType != ZSTD_frame) {
        return Refuse(name + " has no zstd frame header");
    }
    if (header.windowSize > kFormFrameMaxBytes) {
        return Refuse(name + " asks for a window of " + std::to_string(header.windowSize) +
                      " bytes");
    }
    if (header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN &&
        header.frameContentSize != frame.length) {
        return Refuse(name + " says it holds " + std::to_string(header.frameContentSize) +
                      " bytes, not " + std::to_string(frame.length));
    }
    decoded_.resize(std::max<std::size_t>(decoded_.size(), frame.length));
    const std::size_t got = ZSTD_decompressDCtx(context_->decoder, decoded_.data(), frame.length,
                                                pending_.data(), pending_.size());
    if (ZSTD_isError(got)) {
        return Refuse(name + " does not decode to its " + std::to_string(frame.length) +
                      " bytes: " + ZSTD_getErrorName(got));
    }
    if (got != frame.length) {
        return Refuse(name + " decodes to " + std::to_string(got) + " bytes, not " +
                      std::to_string(frame.length));
    }
    pending_.clear();
    ++next_;
    const std::uint64_t skip =
        from_ > frame.offset ? std::min<std::uint64_t>(from_ - frame.offset, got) : 0;
    if (skip == got) return true;
    if (!sink(decoded_.data() + skip, static_cast<std::uint32_t>(got - skip))) {
        failed_ = true;
        return false;
    }
    return true;
}

}  // namespace patcher
