#include "win/platform/disk_space.h"

#include <windows.h>

#include "win/platform/paths.h"

namespace patcher::win {

using namespace rules;

bool FreeBytesForCaller(const std::wstring& directory, std::uint64_t& free_bytes) {
    ULARGE_INTEGER free_to_caller{};
    if (directory.empty() ||
        !::GetDiskFreeSpaceExW(directory.c_str(), &free_to_caller, nullptr, nullptr)) {
        return false;
    }
    free_bytes = free_to_caller.QuadPart;
    return true;
}

bool FreeBytesNear(std::wstring path, std::uint64_t& free_bytes) {
    while (!path.empty()) {
        if (FreeBytesForCaller(path, free_bytes)) return true;
        const std::wstring parent = ParentPath(path);
        if (parent == path) break;
        path = parent;
    }
    return false;
}

}  // namespace patcher::win
