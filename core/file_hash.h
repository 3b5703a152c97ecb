// The disk content check: SHA-256 of a file, read in bounded chunks so memory stays constant
// whatever the file size.
#pragma once

#include <cstddef>
#include <string>

#include "core/status.h"

namespace patcher {

inline constexpr std::size_t kFileHashChunkBytes = 65536;

// Lowercase hex digest of the whole file; ContentMismatch when it cannot be opened or read.
Result<std::string> HashFileSha256(const std::string& path);

}  // namespace patcher
