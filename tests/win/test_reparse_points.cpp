#include "tests/win/test_reparse_points.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "win/platform/unique_handle.h"

namespace patcher::win::testing {
namespace {

constexpr DWORD kTagMountPoint = 0xA0000003;
constexpr DWORD kAllowUnprivilegedCreate = 0x2;

// The mount-point layout of the reparse data buffer (not in the user-mode headers).
struct MountPointHeader {
    DWORD tag;
    WORD data_length;
    WORD reserved;
    WORD substitute_offset;
    WORD substitute_length;
    WORD print_offset;
    WORD print_length;
};

}  // namespace

bool MakeDirectorySymlink(const std::wstring& link, const std::wstring& target,
                          unsigned long& error) {
    error = 0;
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivilegedCreate)) {
        return true;
    }
    error = ::GetLastError();
    return false;
}

bool MakeJunction(const std::wstring& link, const std::wstring& target, unsigned long& error) {
    error = 0;
    if (!::CreateDirectoryW(link.c_str(), nullptr)) {
        error = ::GetLastError();
        return false;
    }
    const std::wstring substitute = L"\\??\\" + target;
    const std::size_t substitute_bytes = substitute.size() * sizeof(wchar_t);
    const std::size_t print_bytes = target.size() * sizeof(wchar_t);
    const std::size_t path_bytes =
        substitute_bytes + sizeof(wchar_t) + print_bytes + sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(MountPointHeader) + path_bytes, 0);
    MountPointHeader header{};
    header.tag = kTagMountPoint;
    header.data_length = static_cast<WORD>(8 + path_bytes);
    header.substitute_offset = 0;
    header.substitute_length = static_cast<WORD>(substitute_bytes);
    header.print_offset = static_cast<WORD>(substitute_bytes + sizeof(wchar_t));
    header.print_length = static_cast<WORD>(print_bytes);
    std::memcpy(buffer.data(), &header, sizeof(header));
    unsigned char* paths = buffer.data() + sizeof(header);
    std::memcpy(paths, substitute.data(), substitute_bytes);
    std::memcpy(paths + header.print_offset, target.data(), print_bytes);

    unique_hfile directory(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!directory) {
        error = ::GetLastError();
        ::RemoveDirectoryW(link.c_str());
        return false;
    }
    DWORD returned = 0;
    if (!::DeviceIoControl(directory.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
        error = ::GetLastError();
        directory.reset();
        ::RemoveDirectoryW(link.c_str());
        return false;
    }
    return true;
}

}  // namespace patcher::win::testing
