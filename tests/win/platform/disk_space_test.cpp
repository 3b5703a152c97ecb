#include "win/platform/disk_space.h"

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"

namespace patcher::win {
namespace {

// A first install asks about folders that do not exist yet: their volume is the nearest existing
// ancestor's, whichever of the two callers (the folder prompt, the download) asks.
TEST(FreeBytesNearTest, AFolderStillToBeMadeIsJudgedByItsNearestExistingAncestor) {
    testing::ScratchDirectory scratch(L"space");
    std::uint64_t here = 0, deeper = 0;
    ASSERT_TRUE(FreeBytesForCaller(scratch.path(), here));
    EXPECT_FALSE(FreeBytesForCaller(scratch.Join(L"game\\sub"), deeper));
    ASSERT_TRUE(FreeBytesNear(scratch.Join(L"game\\sub"), deeper));
    EXPECT_GT(deeper, 0u);
    // Other writers share the volume: equal within a generous margin, not to the byte.
    EXPECT_LT(deeper > here ? deeper - here : here - deeper, 64ull << 20);
    std::uint64_t none = 0;
    EXPECT_FALSE(FreeBytesNear(std::wstring(), none));
}

}  // namespace
}  // namespace patcher::win
