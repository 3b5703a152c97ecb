#include "core/compressed_form.h"

#include <algorithm>

#include "core/little_endian.h"
#include "core/text.h"

namespace patcher {
namespace {

constexpr char kMagic[8] = {'G', '2', 'Z', 'F', 'O', 'R', 'M', '1'};

// zstd's own bound on what a frame of `decoded` bytes can take (ZSTD_COMPRESSBOUND).
std::uint64_t MostCompressedBytes(std::uint64_t decoded) {
    constexpr std::uint64_t kSmall = 128 * 1024;
    return decoded + (decoded >> 8) + (decoded < kSmall ? (kSmall - decoded) >> 11 : 0);
}

// Every frame but the last starts a group and so holds at least one whole chunk.
std::uint64_t MostFrames(std::uint64_t file_size) {
    return std::min<std::uint64_t>(kFormMaxFrames, file_size / kChunkMinBytes + 1);
}

}  // namespace

std::vector<std::uint32_t> FormFrameLengths(std::uint64_t file_size,
                                            const std::vector<ChunkGroup>& groups) {
    std::vector<std::uint32_t> lengths;
    if (groups.empty()) {
        if (file_size > 0 && file_size <= kFormFrameMaxBytes) {
            lengths.push_back(static_cast<std::uint32_t>(file_size));
        }
        return lengths;
    }
    std::uint32_t open = 0;
    for (const ChunkGroup& group : groups) {
        if (open > 0 && std::uint64_t{open} + group.length > kFormFrameMaxBytes) {
            lengths.push_back(open);
            open = 0;
        }
        open += group.length;
    }
    if (open > 0) lengths.push_back(open);
    return lengths;
}

std::string SerializeFormTable(std::uint64_t file_size, const std::vector<FormFrame>& frames) {
    std::string out;
    AppendLe(out, kFormSkippableMagic, 4);
    AppendLe(out, kFormHeadBytes - 8 + frames.size() * kFormFrameEntryBytes, 4);
    out.append(kMagic, sizeof(kMagic));
    AppendLe(out, file_size, 8);
    AppendLe(out, frames.size(), 4);
    out.append(4, '\0');
    for (const FormFrame& frame : frames) {
        AppendLe(out, frame.form_length, 4);
        AppendLe(out, frame.length, 4);
    }
    return out;
}

std::optional<std::uint64_t> ParseFormHead(std::string_view head, std::uint64_t file_size,
                                           std::string& why) {
    if (head.size() != kFormHeadBytes || ReadLe(head, 0, 4) != kFormSkippableMagic ||
        head.substr(8, sizeof(kMagic)) != std::string_view(kMagic, sizeof(kMagic))) {
        why = "it does not start with a form's table";
        return std::nullopt;
    }
    if (ReadLe(head, 16, 8) != file_size) {
        why = "it is the form of a file of " + std::to_string(ReadLe(head, 16, 8)) +
              " bytes, not " + std::to_string(file_size);
        return std::nullopt;
    }
    const std::uint64_t count = ReadLe(head, 24, 4);
    const std::uint64_t table = kFormHeadBytes + count * kFormFrameEntryBytes;
    if (count == 0 || count > MostFrames(file_size) || ReadLe(head, 4, 4) != table - 8) {
        why = "its table's frame count " + std::to_string(count) + " or length " +
              std::to_string(ReadLe(head, 4, 4)) + " does not fit the file";
        return std::nullopt;
    }
    return table;
}

std::optional<std::vector<FormFrame>> ParseFormTable(std::string_view table,
                                                     std::uint64_t file_size, std::string& why) {
    const std::optional<std::uint64_t> length =
        ParseFormHead(table.substr(0, std::min(table.size(), kFormHeadBytes)), file_size, why);
    if (!length) return std::nullopt;
    if (table.size() != *length) {
        why = "its table is " + std::to_string(table.size()) + " bytes, not " +
              std::to_string(*length);
        return std::nullopt;
    }
    std::vector<FormFrame> frames((table.size() - kFormHeadBytes) / kFormFrameEntryBytes);
    std::uint64_t offset = 0, form_offset = table.size();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::size_t at = kFormHeadBytes + i * kFormFrameEntryBytes;
        FormFrame& frame = frames[i];
        frame.form_length = static_cast<std::uint32_t>(ReadLe(table, at, 4));
        frame.length = static_cast<std::uint32_t>(ReadLe(table, at + 4, 4));
        frame.offset = offset;
        frame.form_offset = form_offset;
        if (frame.length == 0 || frame.length > kFormFrameMaxBytes || frame.form_length == 0 ||
            frame.form_length > MostCompressedBytes(frame.length) ||
            frame.length > file_size - offset) {
            why = "its frame " + std::to_string(i) + " (" + std::to_string(frame.form_length) +
                  " bytes for " + std::to_string(frame.length) + ") cannot be one of this file's";
            return std::nullopt;
        }
        offset += frame.length;
        form_offset += frame.form_length;
    }
    if (offset != file_size) {
        why = "its frames make " + std::to_string(offset) + " bytes, not " +
              std::to_string(file_size);
        return std::nullopt;
    }
    return frames;
}

std::unordered_map<std::string, std::uint64_t> ParseFormList(
    std::string_view text, const std::unordered_set<std::string>& wanted) {
    std::unordered_map<std::string, std::uint64_t> forms;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::vector<std::string_view> fields = SplitFields(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (fields.size() != 3 || fields[0] != "zst" || !IsDigits(fields[2]) ||
            fields[2].size() > 19) {
            continue;
        }
        const std::string sha(fields[1]);
        if (wanted.count(sha) != 0) forms[sha] = LeadingU64(fields[2]);
    }
    return forms;
}

std::vector<FormPiece> PlanFormPieces(const std::vector<ChunkSegment>& segments,
                                      const std::vector<FormFrame>& frames) {
    std::vector<FormPiece> pieces;
    if (segments.empty() || frames.empty()) return pieces;
    const std::uint64_t start = segments.front().offset;
    const std::uint64_t end = segments.back().offset + segments.back().length;
    if (end != frames.back().offset + frames.back().length) return pieces;
    const auto add = [&](FormPiece piece) {
        if (piece.length == 0) return;
        FormPiece* last = pieces.empty() ? nullptr : &pieces.back();
        using S = FormPiece::Source;
        const bool continues =
            last && last->source == piece.source && last->offset + last->length == piece.offset &&
            (piece.source == S::Raw ||
             (piece.source == S::Old && last->old_offset + last->length == piece.old_offset) ||
             (piece.source == S::Form &&
              last->first_frame + last->frame_count == piece.first_frame));
        if (continues) {
            last->length += piece.length;
            last->frame_count += piece.frame_count;
            return;
        }
        pieces.push_back(piece);
    };
    std::size_t s = 0;
    for (std::uint32_t f = 0; f < frames.size(); ++f) {
        const FormFrame& frame = frames[f];
        const std::uint64_t frame_end = frame.offset + frame.length;
        if (frame_end <= start) continue;
        const std::uint64_t from = std::max(start, frame.offset);
        // The plan's runs within this frame, and the bytes of them it would fetch.
        std::vector<FormPiece> inside;
        std::uint64_t fetched = 0;
        for (std::size_t i = s; i < segments.size() && segments[i].offset < frame_end; ++i) {
            const ChunkSegment& segment = segments[i];
            const std::uint64_t a = std::max(from, segment.offset);
            const std::uint64_t b = std::min(frame_end, segment.offset + segment.length);
            if (a >= b) continue;
            FormPiece piece;
            piece.source = segment.local ? FormPiece::Source::Old : FormPiece::Source::Raw;
            piece.offset = a;
            piece.length = b - a;
            if (segment.local) piece.old_offset = segment.source + (a - segment.offset);
            if (!segment.local) fetched += piece.length;
            inside.push_back(piece);
        }
        while (s < segments.size() && segments[s].offset + segments[s].length <= frame_end) ++s;
        if (frame.form_length < fetched) {
            FormPiece piece;
            piece.source = FormPiece::Source::Form;
            piece.offset = from;
            piece.length = frame_end - from;
            piece.first_frame = f;
            piece.frame_count = 1;
            add(piece);
        } else {
            for (const FormPiece& piece : inside) add(piece);
        }
    }
    return pieces;
}

}  // namespace patcher
