// The probes of the install directory's writability and of the free-space decision.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/console_report.h"
#include "app/self_test.h"
#include "win/platform/atomic_file.h"
#include "win/platform/disk_space.h"
#include "win/platform/text.h"
#include "win/platform/write_probe.h"

namespace patcher::app {

using namespace win;

namespace {

constexpr std::uint64_t kOneMebibyte = 1048576;
// 2^60 - 1 bytes: far beyond any real volume, so an ALLOW here means the free-space figure or
// the comparison is wrong.
constexpr std::uint64_t kOneExbibyteNeed = (std::uint64_t{1} << 60) - 1;

std::wstring VolumeOf(const std::wstring& directory) {
    wchar_t volume[MAX_PATH + 1] = {};
    if (!directory.empty() && ::GetVolumePathNameW(directory.c_str(), volume, MAX_PATH + 1)) {
        return volume;
    }
    return directory;
}

}  // namespace

int RunInstallWritableSelfTest(const Arguments& arguments) {
    const std::wstring& install = arguments.config.install_directory;
    std::uint32_t error = 0;
    const bool writable = ProbeWritable(install, error);
    PrintField(L"SELF_TEST", L"install-writable");
    PrintField(L"INSTALL_DIR", install);
    PrintField(L"WRITABLE", writable ? L"yes" : L"no");
    PrintField(L"WIN32_ERROR", FormatDecimal(error));
    PrintField(L"RESULT", writable ? L"WRITABLE" : L"NOT_WRITABLE");
    return 0;
}

int RunDiskSpaceSelfTest(const Arguments& arguments) {
    const std::wstring& data = arguments.config.data_directory;
    // The free-space query needs an existing folder on the volume.
    if (!data.empty()) EnsureDirectory(data);
    PrintField(L"VOLUME", VolumeOf(data));
    std::uint64_t free_bytes = 0;
    if (!FreeBytesForCaller(data, free_bytes)) {
        PrintField(L"DISK_SPACE", L"QUERY_FAILED");
        return 1;
    }
    const bool allow_small = free_bytes >= kOneMebibyte;
    const bool allow_huge = free_bytes >= kOneExbibyteNeed;
    PrintField(L"FREE_BYTES", FormatDecimal(free_bytes));
    PrintField(L"NEED_1MB", allow_small ? L"ALLOW" : L"REFUSE");
    PrintField(L"NEED_1EB", allow_huge ? L"ALLOW" : L"REFUSE");
    const bool ok = allow_small && !allow_huge;
    PrintField(L"DISK_SPACE", ok ? L"OK" : L"FAILED");
    return ok ? 0 : 1;
}

}  // namespace patcher::app
