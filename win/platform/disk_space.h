// Free space on the volume that holds a folder, as the calling user may use it (quotas included).
#pragma once

#include <cstdint>
#include <string>

namespace patcher::win {

// False when the folder is empty or the query fails (the folder must exist).
bool FreeBytesForCaller(const std::wstring& directory, std::uint64_t& free_bytes);

// The free space at the deepest folder of `path` that answers, so a folder still to be made is
// judged by the volume of its nearest existing ancestor. False when none answers.
bool FreeBytesNear(std::wstring path, std::uint64_t& free_bytes);

}  // namespace patcher::win
