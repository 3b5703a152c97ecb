// Whether the patcher can create files in a directory, found out by creating one.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::win {

// Creates the directory if needed, then a uniquely named temporary file that vanishes on close,
// and writes one byte to it. On failure `error` holds the Win32 error (5 when none was reported;
// 123 for an empty directory).
bool ProbeWritable(const std::wstring& directory, std::uint32_t& error);

}  // namespace patcher::win
