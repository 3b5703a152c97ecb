// Free space on the volume that holds a folder, as the calling user may use it (quotas included).
#pragma once

#include <cstdint>
#include <string>

namespace patcher::win {

// False when the folder is empty or the query fails (the folder must exist).
bool FreeBytesForCaller(const std::wstring& directory, std::uint64_t& free_bytes);

}  // namespace patcher::win
