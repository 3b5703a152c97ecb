#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/win/test_scratch_directory.h"
#include "win/engine/download.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"

namespace patcher::win {

using namespace rules;

namespace {

const char* const kSettings = "it is the patcher's settings file";
const char* const kLog = "it is the support log, which is open for writing";
const char* const kRotated = "it is a rotated copy of the support log";

// The test binary is the running executable; the log is process-wide, so it is closed around
// every test, and the current directory is put back.
class ReservedPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LogClose();
        ::GetCurrentDirectoryW(MAX_PATH, before_);
    }
    void TearDown() override {
        ::SetCurrentDirectoryW(before_);
        LogClose();
    }

    wchar_t before_[MAX_PATH] = {};
    testing::ScratchDirectory scratch_{L"reserved"};
};

std::string ReasonFor(const std::wstring& destination) {
    std::string reason;
    IsReservedPath(destination, reason);
    return reason;
}

TEST_F(ReservedPathTest, TheSettingsFileIsRefusedHoweverTheFolderIsSpelled) {
    const std::wstring folder = ParentPath(ExecutablePath());
    ASSERT_FALSE(folder.empty());
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));
    const struct {
        std::wstring destination;
        const char* reason;
    } cases[] = {
        {folder + L"\\.\\patcher.cfg", kSettings},
        {folder + L"\\sub\\..\\patcher.cfg", kSettings},
        {L"patcher.cfg", kSettings},
        {folder + L"\\PATCHER.CFG.", kSettings},
        {L"game\\patcher.cfg", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReasonFor(c.destination), c.reason) << c.destination;
}

// Either side may be the 8.3 spelling: the destination, or the folder the log was opened in.
TEST_F(ReservedPathTest, TheLogIsRefusedThroughItsFoldersShortName) {
    const std::wstring long_folder = scratch_.Join(L"Destek kay\u0131tlar\u0131 klas\u00f6r\u00fc");
    ASSERT_TRUE(::CreateDirectoryW(long_folder.c_str(), nullptr));
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(long_folder.c_str(), buffer, MAX_PATH);
    const std::wstring short_folder(buffer, length < MAX_PATH ? length : 0);
    if (short_folder.empty() || short_folder == long_folder) {
        std::printf("note: no 8.3 name for the scratch folder here, short-name rows skipped\n");
        return;
    }
    for (const bool log_through_short : {false, true}) {
        LogClose();
        LogOpen(log_through_short ? short_folder : long_folder, L"");
        ASSERT_FALSE(LogPath().empty());
        const std::wstring other = log_through_short ? long_folder : short_folder;
        EXPECT_EQ(ReasonFor(other + L"\\patcher.log"), kLog) << other;
        // Not yet there: only the folder can be expanded, the name is kept.
        EXPECT_EQ(ReasonFor(other + L"\\patcher.log.1"), kRotated) << other;
    }
}

}  // namespace
}  // namespace patcher::win
