#include "core/binary_delta.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, to see a frame's sizes before decoding
#include <zstd.h>

#include <algorithm>
#include <set>
#include <utility>

#include "core/text.h"

namespace patcher {

std::string DeltaObjectName(const std::string& new_sha256, const std::string& old_sha256) {
    return new_sha256.substr(0, 2) + "/" + new_sha256 + kDeltaInfix + old_sha256;
}

std::vector<DeltaListing> ParseDeltaList(std::string_view text,
                                         const std::unordered_set<std::string>& wanted) {
    std::vector<DeltaListing> deltas;
    std::set<std::pair<std::string, std::string>> seen;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::vector<std::string_view> fields = SplitFields(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (fields.size() != 4 || fields[0] != "delta" || fields[2].size() != 64 ||
            !IsDigits(fields[3]) || fields[3].size() > 19) {
            continue;
        }
        DeltaListing delta{std::string(fields[1]), std::string(fields[2]), LeadingU64(fields[3])};
        if (wanted.count(delta.new_sha256) == 0 ||
            !seen.emplace(delta.new_sha256, delta.old_sha256).second) {
            continue;
        }
        deltas.push_back(std::move(delta));
    }
    return deltas;
}

struct DeltaDecoder::Context {
    ZSTD_DCtx* decoder = ZSTD_createDCtx();
    ~Context() { ZSTD_freeDCtx(decoder); }
};

DeltaDecoder::DeltaDecoder(std::string_view old_bytes, std::uint64_t new_size)
    : context_(std::make_unique<Context>()), new_size_(new_size) {
    ZSTD_DCtx* decoder = context_->decoder;
    if (decoder == nullptr ||
        ZSTD_isError(ZSTD_DCtx_setParameter(decoder, ZSTD_d_windowLogMax, kDeltaMaxWindowLog)) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(decoder, old_bytes.data(), old_bytes.size()))) {
        Refuse("no zstd decoder could be made");
    }
}

DeltaDecoder::~DeltaDecoder() = default;

bool DeltaDecoder::Refuse(std::string reason) {
    failed_ = true;
    why_ = std::move(reason);
    return false;
}

bool DeltaDecoder::Feed(const char* bytes, std::size_t size, const Sink& sink) {
    if (failed_) return false;
    // The header is gathered a few bytes at a time, so no more than it is read ahead of the check.
    while (!header_read_ && size > 0) {
        const std::size_t take =
            std::min<std::size_t>(size, ZSTD_FRAMEHEADERSIZE_MAX - header_.size());
        header_.append(bytes, take);
        bytes += take;
        size -= take;
        if (!CheckHeader()) return false;
        if (header_read_ && !Decode(header_.data(), header_.size(), sink)) return false;
    }
    return size == 0 || Decode(bytes, size, sink);
}

bool DeltaDecoder::CheckHeader() {
    ZSTD_frameHeader header{};
    const std::size_t wanted = ZSTD_getFrameHeader(&header, header_.data(), header_.size());
    if (ZSTD_isError(wanted) || (wanted > 0 && header_.size() >= ZSTD_FRAMEHEADERSIZE_MAX)) {
        return Refuse("it does not start with a zstd frame header");
    }
    if (wanted > 0) return true;
    if (header.frameType != ZSTD_frame) return Refuse("it is not a zstd frame of data");
    if (header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN) {
        return Refuse("its frame does not say how many bytes it makes");
    }
    if (header.frameContentSize != new_size_) {
        return Refuse("its frame says it makes " + std::to_string(header.frameContentSize) +
                      " bytes, not " + std::to_string(new_size_));
    }
    if (header.windowSize > kDeltaMaxWindowBytes) {
        return Refuse("its frame asks for a window of " + std::to_string(header.windowSize) +
                      " bytes");
    }
    header_read_ = true;
    return true;
}

bool DeltaDecoder::Decode(const char* bytes, std::size_t size, const Sink& sink) {
    // zstd would take what follows the frame for a frame of its own, without the prefix.
    if (ended_) return size == 0 || Refuse("it goes on after its frame");
    if (decoded_.empty()) decoded_.resize(ZSTD_DStreamOutSize());
    ZSTD_inBuffer in{bytes, size, 0};
    for (;;) {
        ZSTD_outBuffer out{decoded_.data(), decoded_.size(), 0};
        const std::size_t left = ZSTD_decompressStream(context_->decoder, &out, &in);
        if (ZSTD_isError(left)) {
            return Refuse(std::string("it does not decode: ") + ZSTD_getErrorName(left));
        }
        if (out.pos > new_size_ - made_) {
            return Refuse("it decodes past the new file's " + std::to_string(new_size_) + " bytes");
        }
        made_ += out.pos;
        if (out.pos > 0 && !sink(decoded_.data(), static_cast<std::uint32_t>(out.pos))) {
            failed_ = true;
            return false;
        }
        if (left == 0) {
            if (in.pos < in.size) return Refuse("it goes on after its frame");
            if (made_ != new_size_) {
                return Refuse("it decodes to " + std::to_string(made_) + " bytes, not " +
                              std::to_string(new_size_));
            }
            ended_ = true;
            return true;
        }
        // Everything given is in and everything decoded so far is out.
        if (in.pos == in.size && out.pos < out.size) return true;
    }
}

}  // namespace patcher
