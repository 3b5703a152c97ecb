// zstd frames built by hand from raw and RLE blocks, so that the tests need only the decoder and
// can make the frames no compressor would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace patcher::test_support {

struct FrameSpec {
    std::string content;          // sent in raw blocks
    std::uint64_t rle_bytes = 0;  // then one RLE block of this many 'r' bytes
    int window_log = 0;           // 0: a single-segment frame whose window is its content
    std::uint64_t says = ~0ull;   // the content size its header gives (~0: the true one)
    bool sized = false;           // with a window_log: the header gives a content size too
};

std::string Frame(const FrameSpec& spec);

struct Decoded {
    bool fed = false;
    bool done = false;
    std::string bytes;
    std::string why;
};

// What a FormDecoder or DeltaDecoder makes of `input`, fed in pieces of `piece` bytes.
template <typename Decoder>
Decoded FeedInPieces(Decoder& decoder, const std::string& input, std::size_t piece) {
    Decoded out;
    out.fed = true;
    for (std::size_t at = 0; at < input.size() && out.fed; at += piece) {
        out.fed = decoder.Feed(input.data() + at, std::min(piece, input.size() - at),
                               [&](const char* bytes, std::uint32_t size) {
                                   out.bytes.append(bytes, size);
                                   return true;
                               });
    }
    out.done = decoder.done();
    out.why = decoder.why();
    return out;
}

}  // namespace patcher::test_support
