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

}  // namespace
}  // namespace patcher::win
