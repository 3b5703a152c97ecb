// The compressed form the publisher writes beside an object ("<object>.zst") when zstd saves at
// least 5 % of it, and the list of the objects that have one.
//
// A form is the file cut into zstd frames that each decode on their own, behind a table of them:
//   a zstd skippable frame: magic 0x184D2A5B (u32), its content's length (u32), the content:
//     "G2ZFORM1", file size (u64), frame count (u32), 4 zero bytes,
//     per frame: compressed length (u32), decoded length (u32)
//   the frames, in file order
// All numbers are little-endian. zstd itself skips the table, so `zstd -d` turns a form back into
// its file. A file with a chunk index is cut where its groups start (several small groups share a
// frame), so a patcher that fetches a few groups of the file can fetch the frames that hold them.
//
// Neither the form nor the list is signed: the decoding is bounded, every frame must decode to
// exactly its length, and the file it makes is verified against the manifest like any download.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/chunk_index.h"
#include "core/chunk_plan.h"

namespace patcher {

inline constexpr const char* kFormSuffix = ".zst";
// Beside the release's manifest: "zst <sha256> <form bytes>" for each object that has a form.
inline constexpr const char* kFormListName = "forms.txt";
// About 80 bytes a line: room for the forms of a release of 200,000 files.
inline constexpr std::uint64_t kFormListCapBytes = 16 * 1024 * 1024;
inline constexpr std::uint32_t kFormSkippableMagic = 0x184D2A5B;
inline constexpr std::size_t kFormHeadBytes = 32;
inline constexpr std::size_t kFormFrameEntryBytes = 8;
// A frame decodes to at most this, and its window is no larger: the patcher's decoders stay small
// in a 32-bit process however many workers run.
inline constexpr std::uint32_t kFormFrameMaxBytes = 1048576;
inline constexpr std::uint32_t kFormMaxFrames = 1u << 16;
// A form is written only when it is at most this share of the file (in percent).
inline constexpr std::uint64_t kFormMaxPercent = 95;

struct FormFrame {
    std::uint64_t offset = 0;       // where its bytes start in the file
    std::uint32_t length = 0;       // its decoded bytes
    std::uint64_t form_offset = 0;  // where it starts in the form
    std::uint32_t form_length = 0;  // its compressed bytes
};

// The decoded lengths of the frames the publisher cuts a file into: the file whole when it has no
// chunk index, otherwise runs of whole groups of at most kFormFrameMaxBytes.
std::vector<std::uint32_t> FormFrameLengths(std::uint64_t file_size,
                                            const std::vector<ChunkGroup>& groups);

// The table for frames of these lengths, compressed and decoded.
std::string SerializeFormTable(std::uint64_t file_size, const std::vector<FormFrame>& frames);

// The table's length with its head, from the first kFormHeadBytes of a form; nullopt with `why`
// for a form of another size, or one with more frames than a file of that size can have.
std::optional<std::uint64_t> ParseFormHead(std::string_view head, std::uint64_t file_size,
                                           std::string& why);

// The frames, from the whole table (head included). Every frame holds 1 to kFormFrameMaxBytes
// decoded bytes, no more compressed bytes than zstd can need for them, and together they make
// the file.
std::optional<std::vector<FormFrame>> ParseFormTable(std::string_view table,
                                                     std::uint64_t file_size, std::string& why);

// Which objects among `wanted` (SHA-256 in hex) have a form, and its size. Lines that do not read
// as the list's are skipped: the list only says where to look.
std::unordered_map<std::string, std::uint64_t> ParseFormList(
    std::string_view text, const std::unordered_set<std::string>& wanted);

// A run of the new file and where it comes from: the old copy, the file's own URL, or frames
// [first_frame, first_frame + frame_count) of the form, whose decoded bytes before `offset` are
// dropped.
struct FormPiece {
    enum class Source { Old, Raw, Form };
    Source source = Source::Raw;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t old_offset = 0;
    std::uint32_t first_frame = 0;
    std::uint32_t frame_count = 0;
};

// The plan with each frame taken from the form where its compressed bytes are fewer than the
// plan fetches of that frame's bytes; whole frames taken that way replace the old copy's bytes in
// them too. Frames must cover the file; empty when they do not meet `segments`' ends.
std::vector<FormPiece> PlanFormPieces(const std::vector<ChunkSegment>& segments,
                                      const std::vector<FormFrame>& frames);

}  // namespace patcher
