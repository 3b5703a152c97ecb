#include "tests/core/test_zstd_frames.h"

#include "core/little_endian.h"

namespace patcher::test_support {

std::string Frame(const FrameSpec& spec) {
    std::string out;
    AppendLe(out, 0xFD2FB528, 4);
    const std::uint64_t size = spec.content.size() + spec.rle_bytes;
    const std::uint64_t says = spec.says == ~0ull ? size : spec.says;
    if (spec.window_log == 0) {
        out.push_back(static_cast<char>(0xA0));  // single segment, 4-byte content size
        AppendLe(out, says, 4);
    } else {
        out.push_back(static_cast<char>(spec.sized ? 0x80 : 0));  // 4-byte content size or none
        out.push_back(static_cast<char>((spec.window_log - 10) << 3));
        if (spec.sized) AppendLe(out, says, 4);
    }
    const auto block = [&](int type, std::size_t length, bool last) {
        AppendLe(out, (length << 3) | (type << 1) | (last ? 1 : 0), 3);
    };
    for (std::size_t at = 0; at < spec.content.size(); at += 65536) {
        const std::string piece = spec.content.substr(at, 65536);
        block(0, piece.size(), spec.rle_bytes == 0 && at + 65536 >= spec.content.size());
        out += piece;
    }
    if (spec.rle_bytes > 0) {
        block(1, spec.rle_bytes, true);
        out.push_back('r');
    }
    return out;
}

}  // namespace patcher::test_support
