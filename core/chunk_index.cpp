#include "core/chunk_index.h"

#include <cstring>

#include "core/content_chunker.h"
#include "core/little_endian.h"

namespace patcher {
namespace {

constexpr char kMagic[8] = {'G', '2', 'C', 'H', 'U', 'N', 'K', '1'};
constexpr std::size_t kGroupTagBytes = 7;

std::uint64_t GroupTag(const Sha256Digest& digest) {
    std::uint64_t tag = 0;
    for (std::size_t i = 0; i < kGroupTagBytes; ++i) tag = (tag << 8) | digest[i];
    return tag;
}

// Every chunk but the last has at least kChunkMinBytes, and none has more than kChunkMaxBytes.
std::uint64_t MostChunks(std::uint64_t file_size) {
    return file_size / kChunkMinBytes + 1;
}
std::uint64_t FewestChunks(std::uint64_t file_size) {
    return (file_size + kChunkMaxBytes - 1) / kChunkMaxBytes;
}

}  // namespace

std::uint32_t ChunkTag(const Sha256Digest& digest) {
    return (std::uint32_t{digest[0]} << 24) | (std::uint32_t{digest[1]} << 16) |
           (std::uint32_t{digest[2]} << 8) | digest[3];
}

void ChunkGrouper::Add(std::uint64_t offset, std::uint32_t length, const Sha256Digest& digest) {
    if (open_.chunk_count == 0) {
        open_.offset = offset;
        open_.first_chunk = chunks_;
    }
    open_.length += length;
    ++open_.chunk_count;
    ++chunks_;
    hasher_.Update(digest.data(), digest.size());
    if ((digest[8] & 0x0f) == 0 || open_.chunk_count == kGroupMaxChunks) Finish();
}

void ChunkGrouper::Finish() {
    if (open_.chunk_count == 0) return;
    open_.tag = GroupTag(hasher_.Finish());
    groups_.push_back(open_);
    open_ = ChunkGroup();
}

std::string SerializeChunkIndex(const ChunkIndexHeader& header,
                                const std::vector<ChunkGroup>& groups,
                                const std::vector<ChunkEntry>& chunks) {
    std::string out(kMagic, sizeof(kMagic));
    AppendLe(out, header.file_size, 8);
    out.append(reinterpret_cast<const char*>(header.file_sha256.data()), 32);
    AppendLe(out, groups.size(), 4);
    AppendLe(out, chunks.size(), 4);
    out.append(8, '\0');
    for (const ChunkGroup& group : groups) {
        AppendLe(out, group.length, 4);
        AppendLe(out, group.chunk_count, 1);
        for (std::size_t i = kGroupTagBytes; i-- > 0;) {
            out.push_back(static_cast<char>(group.tag >> (8 * i)));
        }
    }
    for (const ChunkEntry& chunk : chunks) {
        AppendLe(out, chunk.length, 2);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<char>(chunk.tag >> shift));
    }
    return out;
}

std::uint64_t ChunkGroupTableBytes(const ChunkIndexHeader& header) {
    return std::uint64_t{header.group_count} * kChunkGroupEntryBytes;
}

std::uint64_t ChunkEntriesOffset(const ChunkIndexHeader& header, std::uint32_t first_chunk) {
    return kChunkIndexHeaderBytes + ChunkGroupTableBytes(header) +
           std::uint64_t{first_chunk} * kChunkEntryBytes;
}

std::optional<ChunkIndexHeader> ParseChunkIndexHeader(std::string_view bytes,
                                                      std::uint64_t file_size,
                                                      const Sha256Digest& file_sha256,
                                                      std::string& why) {
    if (bytes.size() != kChunkIndexHeaderBytes || std::memcmp(bytes.data(), kMagic, 8) != 0) {
        why = "the index does not start with a chunk index header";
        return std::nullopt;
    }
    ChunkIndexHeader header;
    header.file_size = ReadLe(bytes, 8, 8);
    std::memcpy(header.file_sha256.data(), bytes.data() + 16, 32);
    header.group_count = static_cast<std::uint32_t>(ReadLe(bytes, 48, 4));
    header.chunk_count = static_cast<std::uint32_t>(ReadLe(bytes, 52, 4));
    if (header.file_size != file_size || header.file_sha256 != file_sha256) {
        why = "the index describes another file than the manifest names";
        return std::nullopt;
    }
    if (bytes.substr(56).find_first_not_of('\0') != std::string_view::npos) {
        why = "the index header's reserved bytes are not zero";
        return std::nullopt;
    }
    if (header.chunk_count < FewestChunks(file_size) ||
        header.chunk_count > MostChunks(file_size) || header.group_count == 0 ||
        header.group_count > header.chunk_count ||
        header.group_count < (header.chunk_count + kGroupMaxChunks - 1) / kGroupMaxChunks) {
        why = "the index counts " + std::to_string(header.group_count) + " groups of " +
              std::to_string(header.chunk_count) + " chunks, which a file of " +
              std::to_string(file_size) + " bytes cannot have";
        return std::nullopt;
    }
    return header;
}

std::optional<std::vector<ChunkGroup>> ParseChunkGroups(std::string_view bytes,
                                                        const ChunkIndexHeader& header,
                                                        std::string& why) {
    if (bytes.size() != ChunkGroupTableBytes(header)) {
        why = "the group table has " + std::to_string(bytes.size()) + " bytes";
        return std::nullopt;
    }
    std::vector<ChunkGroup> groups(header.group_count);
    std::uint64_t offset = 0;
    std::uint64_t chunks = 0;
    for (std::uint32_t i = 0; i < header.group_count; ++i) {
        const std::size_t at = std::size_t{i} * kChunkGroupEntryBytes;
        ChunkGroup& group = groups[i];
        group.offset = offset;
        group.length = static_cast<std::uint32_t>(ReadLe(bytes, at, 4));
        group.chunk_count = static_cast<std::uint8_t>(bytes[at + 4]);
        group.first_chunk = static_cast<std::uint32_t>(chunks);
        for (std::size_t k = 0; k < kGroupTagBytes; ++k) {
            group.tag = (group.tag << 8) | static_cast<std::uint8_t>(bytes[at + 5 + k]);
        }
        // Only the file's last chunk may be shorter than the chunker's minimum.
        const bool last = i + 1 == header.group_count;
        const std::uint64_t least =
            std::uint64_t{group.chunk_count} * kChunkMinBytes - (last ? kChunkMinBytes - 1 : 0);
        if (group.chunk_count == 0 || group.chunk_count > kGroupMaxChunks || group.length < least ||
            group.length > std::uint64_t{group.chunk_count} * kChunkMaxBytes) {
            why = "group " + std::to_string(i) + " has " + std::to_string(group.chunk_count) +
                  " chunks in " + std::to_string(group.length) + " bytes";
            return std::nullopt;
        }
        offset += group.length;
        chunks += group.chunk_count;
    }
    if (offset != header.file_size || chunks != header.chunk_count) {
        why = "the groups cover " + std::to_string(offset) + " bytes in " + std::to_string(chunks) +
              " chunks, not the file's " + std::to_string(header.file_size) + " bytes in " +
              std::to_string(header.chunk_count);
        return std::nullopt;
    }
    return groups;
}

std::optional<std::vector<ChunkEntry>> ParseChunkEntries(std::string_view bytes,
                                                         const ChunkGroup& group,
                                                         std::uint64_t file_size,
                                                         std::string& why) {
    if (bytes.size() != std::size_t{group.chunk_count} * kChunkEntryBytes) {
        why = "the chunk entries of a group of " + std::to_string(group.chunk_count) +
              " chunks have " + std::to_string(bytes.size()) + " bytes";
        return std::nullopt;
    }
    std::vector<ChunkEntry> chunks(group.chunk_count);
    std::uint64_t offset = group.offset;
    for (std::uint32_t i = 0; i < group.chunk_count; ++i) {
        const std::size_t at = std::size_t{i} * kChunkEntryBytes;
        chunks[i].offset = offset;
        chunks[i].length = static_cast<std::uint32_t>(ReadLe(bytes, at, 2));
        chunks[i].tag = static_cast<std::uint32_t>(
            (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 2])} << 24) |
            (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 3])} << 16) |
            (std::uint32_t{static_cast<std::uint8_t>(bytes[at + 4])} << 8) |
            static_cast<std::uint8_t>(bytes[at + 5]));
        const bool last = offset + chunks[i].length == file_size;
        if (chunks[i].length == 0 || chunks[i].length > kChunkMaxBytes ||
            (chunks[i].length < kChunkMinBytes && !last)) {
            why = "a chunk of the group at byte " + std::to_string(group.offset) + " has " +
                  std::to_string(chunks[i].length) + " bytes";
            return std::nullopt;
        }
        offset += chunks[i].length;
    }
    if (offset != group.offset + group.length) {
        why = "the chunks of the group at byte " + std::to_string(group.offset) +
              " do not add up to its " + std::to_string(group.length) + " bytes";
        return std::nullopt;
    }
    return chunks;
}

}  // namespace patcher

namespace patcher {

ChunkIndexBuilder::ChunkIndexBuilder()
    : scanner_([this](std::uint64_t offset, std::uint32_t length, const Sha256Digest& digest) {
          chunks_.push_back(ChunkEntry{offset, length, ChunkTag(digest)});
          grouper_.Add(offset, length, digest);
      }) {}

void ChunkIndexBuilder::Feed(const void* data, std::size_t size) {
    whole_.Update(data, size);
    scanner_.Feed(data, size);
    size_ += size;
}

std::string ChunkIndexBuilder::Finish() {
    scanner_.Finish();
    grouper_.Finish();
    ChunkIndexHeader header;
    header.file_size = size_;
    header.file_sha256 = whole_.Finish();
    header.group_count = static_cast<std::uint32_t>(grouper_.groups().size());
    header.chunk_count = static_cast<std::uint32_t>(chunks_.size());
    return SerializeChunkIndex(header, grouper_.groups(), chunks_);
}

}  // namespace patcher
