// SHA-256 of a file named by a wide path, for the self-tests' report lines. The core's file hasher
// takes narrow paths; reading through the wide path keeps any data directory name usable.
#pragma once

#include <string>

namespace patcher::app {

// Lower-case hex digest of the file's content; empty when the file cannot be opened or read.
std::wstring FileSha256Hex(const std::wstring& path);

}  // namespace patcher::app
