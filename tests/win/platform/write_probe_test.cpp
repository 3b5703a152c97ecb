#include "win/platform/write_probe.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

using testing::ScratchDirectory;
using testing::WriteWholeFile;

int CountEntries(const std::wstring& directory) {
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW((directory + L"\\*").c_str(), &found));
    int count = 0;
    if (!find) return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") ++count;
    } while (::FindNextFileW(find.get(), &found));
    return count;
}

TEST(WriteProbeTest, WritableDirectoryLeavesNothingBehind) {
    ScratchDirectory scratch(L"probe");
    std::uint32_t error = 77;
    EXPECT_TRUE(ProbeWritable(scratch.path(), error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(CountEntries(scratch.path()), 0);
    // A missing folder is created first, as the install folder is on a first start.
    const std::wstring fresh = scratch.Join(L"game\\sub");
    EXPECT_TRUE(ProbeWritable(fresh, error));
    EXPECT_EQ(CountEntries(fresh), 0);
}

TEST(WriteProbeTest, FailuresCarryAWin32Error) {
    ScratchDirectory scratch(L"probe-fail");
    std::uint32_t error = 0;
    EXPECT_FALSE(ProbeWritable(L"", error));
    EXPECT_EQ(error, 123u);
    const std::wstring file = scratch.Join(L"plain");
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    EXPECT_FALSE(ProbeWritable(file, error));
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(ProbeWritable(file + L"\\below", error));
    EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace patcher::win
