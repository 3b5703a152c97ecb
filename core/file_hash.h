// A file's content, read in bounded pieces so memory stays constant whatever the file size: its
// SHA-256 (the disk content check) and its chunk index (what the publisher serves beside it).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "core/status.h"

namespace patcher {

inline constexpr std::size_t kFileHashChunkBytes = 65536;

// Hands the whole file to `sink` piece by piece; ContentMismatch when it cannot be opened or read.
Status ReadFilePieces(const std::string& path,
                      const std::function<void(const char*, std::size_t)>& sink);

// Lowercase hex digest of the whole file; ContentMismatch when it cannot be opened or read.
Result<std::string> HashFileSha256(const std::string& path);

// The serialized chunk index of the file (chunk_index.h).
Result<std::string> ChunkIndexOfFile(const std::string& path);

}  // namespace patcher
