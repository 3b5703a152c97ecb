// The compressed forms of objects (core/compressed_form.h): made with libzstd when an object is
// stored, and checked, frame by frame with the patcher's own decoder, before any list names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/chunk_index.h"
#include "core/file_hash.h"
#include "core/hex.h"
#include "core/sha256.h"
#include "core/status.h"

namespace patcher::release {

inline constexpr int kFormDefaultLevel = 19;
inline constexpr int kFormMaxLevel = 19;

// Writes the form of `file` (`size` bytes, cut where its chunk index's `groups` start; none for a
// file without an index) into the new file `form`, flushed to disk, and answers its bytes. Frames
// are compressed at zstd level `level`, but those that zstd's fastest level hardly shrinks are kept
// as that level makes them. A form that would be larger than kFormMaxPercent of the file is not
// worth fetching: then nothing is left at `form` and the answer is 0, as it is for an empty file.
Result<std::uint64_t> WriteForm(const std::string& file, std::uint64_t size,
                                const std::vector<ChunkGroup>& groups, int level,
                                const std::string& form);

// Why the file at `path`, fed whole to `decoder` (a FormDecoder or DeltaDecoder), does not make
// the bytes of this SHA-256; empty when it does.
template <typename Decoder>
std::string WhyNotDecoded(const std::string& path, Decoder& decoder, const std::string& sha256) {
    Sha256 decoded;
    const auto hash = [&](const char* bytes, std::uint32_t length) {
        decoded.Update(bytes, length);
        return true;
    };
    const Status read = ReadFilePieces(
        path, [&](const char* bytes, std::size_t length) { decoder.Feed(bytes, length, hash); });
    if (!read.ok()) return "cannot be read";
    if (!decoder.why().empty()) return "is refused: " + decoder.why();
    if (!decoder.done()) return "ends before it is whole";
    if (HexEncode(decoded.Finish()) != sha256) return "does not decode to its object's bytes";
    return std::string();
}

// The form at `form` is one the patcher decodes into the file of this size and SHA-256 (else
// ContentMismatch naming it and why).
Status CheckForm(const std::string& form, std::uint64_t size, const std::string& sha256);

}  // namespace patcher::release
