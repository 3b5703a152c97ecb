#include "win/platform/disk_space.h"

#include <windows.h>

namespace patcher::win {

bool FreeBytesForCaller(const std::wstring& directory, std::uint64_t& free_bytes) {
    ULARGE_INTEGER free_to_caller{};
    if (directory.empty() ||
        !::GetDiskFreeSpaceExW(directory.c_str(), &free_to_caller, nullptr, nullptr)) {
        return false;
    }
    free_bytes = free_to_caller.QuadPart;
    return true;
}

}  // namespace patcher::win
