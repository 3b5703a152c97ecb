#include "model/format_size.h"

#include <gtest/gtest.h>

namespace patcher::model {
namespace {

TEST(FormatSizeTest, UnitBoundariesAndTruncation) {
    EXPECT_EQ(FormatSize(0), L"0 B");
    EXPECT_EQ(FormatSize(1023), L"1023 B");
    EXPECT_EQ(FormatSize(1024), L"1,0 KB");
    EXPECT_EQ(FormatSize(1536), L"1,5 KB");
    EXPECT_EQ(FormatSize(1048575), L"1023,9 KB");  // truncated, never rounded up to 1024,0
    EXPECT_EQ(FormatSize(1048576), L"1,0 MB");
    EXPECT_EQ(FormatSize(1073741823), L"1023,9 MB");
    EXPECT_EQ(FormatSize(1073741824), L"1,0 GB");
    // 0.8999999994 GB past 5 GB: truncation keeps 5,8 where rounding would say 5,9.
    EXPECT_EQ(FormatSize(5 * 1073741824ULL + 966367641ULL), L"5,8 GB");
    // The largest count stays in gigabytes and does not overflow the tenth computation.
    EXPECT_EQ(FormatSize(UINT64_MAX), L"17179869183,9 GB");
}

}  // namespace
}  // namespace patcher::model
