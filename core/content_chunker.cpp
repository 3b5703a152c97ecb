#include "core/content_chunker.h"

#include <array>

namespace patcher {
namespace {

// The gear table: 256 fixed pseudo-random words from splitmix64, seeded with "garun2cd".
constexpr std::array<std::uint64_t, 256> MakeGear() {
    std::array<std::uint64_t, 256> gear{};
    std::uint64_t state = 0x6761'7275'6e32'6364;
    for (std::uint64_t& word : gear) {
        std::uint64_t z = (state += 0x9e37'79b9'7f4a'7c15);
        z = (z ^ (z >> 30)) * 0xbf58'476d'1ce4'e5b9;
        z = (z ^ (z >> 27)) * 0x94d0'49bb'1331'11eb;
        word = z ^ (z >> 31);
    }
    return gear;
}
constexpr std::array<std::uint64_t, 256> kGear = MakeGear();

// The rolling hash shifts left once per byte, so its top bits depend on the last 64 bytes only.
// Before the normal size a cut needs 12 zero top bits, after it 10: chunk lengths bunch up
// around the normal size instead of spreading out geometrically.
constexpr std::uint64_t kMaskBeforeNormal = ~std::uint64_t{0} << 52;
constexpr std::uint64_t kMaskAfterNormal = ~std::uint64_t{0} << 54;

}  // namespace

std::size_t ChunkLength(const std::uint8_t* data, std::size_t size) {
    if (size <= kChunkMinBytes) return size;
    const std::size_t end = size < kChunkMaxBytes ? size : kChunkMaxBytes;
    const std::size_t normal = end < kChunkNormalBytes ? end : kChunkNormalBytes;
    std::uint64_t hash = 0;
    std::size_t i = kChunkMinBytes;
    for (; i < normal; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & kMaskBeforeNormal) == 0) return i + 1;
    }
    for (; i < end; ++i) {
        hash = (hash << 1) + kGear[data[i]];
        if ((hash & kMaskAfterNormal) == 0) return i + 1;
    }
    return end;
}

void ChunkScanner::Feed(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // Whole chunks are cut as soon as a maximal window is buffered, so the buffer never
        // holds more than two maximal chunks.
        const std::size_t room = 2 * kChunkMaxBytes - pending_.size();
        const std::size_t take = size < room ? size : room;
        pending_.append(bytes, take);
        bytes += take;
        size -= take;
        if (pending_.size() == 2 * kChunkMaxBytes) Cut(kChunkMaxBytes);
    }
}

void ChunkScanner::Finish() {
    Cut(0);
    offset_ = 0;
}

// Cuts chunks while more than `keep` bytes are buffered (a cut needs kChunkMaxBytes of lookahead
// unless the stream has ended).
void ChunkScanner::Cut(std::size_t keep) {
    std::size_t start = 0;
    while (pending_.size() - start > keep && pending_.size() > start) {
        const auto* at = reinterpret_cast<const std::uint8_t*>(pending_.data()) + start;
        const std::size_t length = ChunkLength(at, pending_.size() - start);
        hasher_.Update(at, length);
        on_chunk_(offset_, static_cast<std::uint32_t>(length), hasher_.Finish());
        offset_ += length;
        start += length;
    }
    pending_.erase(0, start);
}

}  // namespace patcher
