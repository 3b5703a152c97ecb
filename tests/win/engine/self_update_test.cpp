#include "win/engine/self_update.h"

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

// The test binary is the running executable here. Every case fails before the swap, so it is
// never moved; the replacement beside it is removed afterwards.
TEST(ApplySelfUpdateTest, AReplacementHeldOpenForWritingIsRefusedAndNothingMoves) {
    const std::wstring exe = ExecutablePath(), fresh = exe + L".new";
    ASSERT_TRUE(testing::WriteWholeFile(fresh, "MZ replacement"));
    unique_hfile writer(::CreateFileW(fresh.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    std::string error;
    bool intact = false;
    EXPECT_FALSE(ApplySelfUpdate(std::string(64, '0'), error, intact));
    EXPECT_TRUE(intact);
    EXPECT_EQ(error, "cannot open the replacement executable exclusively at " + WideToUtf8(fresh) +
                         " (error 32)");
    EXPECT_TRUE(PathExists(fresh));
    EXPECT_FALSE(PathExists(exe + L".old"));
    writer.reset();
    ::DeleteFileW(fresh.c_str());
}

// A replacement on another file system cannot be renamed into place: the retired executable must
// come back. (Beside the running exe the move fails only through outside interference; another
// device is the one way to force it here.)
TEST(PublishReplacementTest, AFailedMoveIntoPlacePutsTheWorkingCopyBack) {
    testing::ScratchDirectory scratch(L"publish-fails");
    const std::wstring exe = scratch.Join(L"patcher.exe");
    const std::wstring fresh = L"Z:\\dev\\shm\\garun2-publish-fails.exe.new";
    ASSERT_TRUE(testing::WriteWholeFile(exe, "MZ running"));
    if (!testing::WriteWholeFile(fresh, "MZ next")) GTEST_SKIP() << "no second file system here";
    std::string error;
    bool intact = false;
    const bool published = PublishReplacement(
        {exe, fresh, exe + L".old"},
        "b94558d6c190ea31e70d9bdb3c0cc5c726c21311699f22d907a14bfa6889ee2b", error, intact);
    ::DeleteFileW(fresh.c_str());
    if (published) GTEST_SKIP() << "the move crossed file systems after all";
    EXPECT_TRUE(intact);
    EXPECT_EQ(error.substr(0, 47), "cannot move the new executable into place (erro");
    EXPECT_TRUE(error.ends_with("); the working copy was put back")) << error;
    EXPECT_EQ(testing::ReadWholeFile(exe), "MZ running");
}

}  // namespace
}  // namespace patcher::win
