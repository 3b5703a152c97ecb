#include "win/platform/text.h"

#include <gtest/gtest.h>

namespace patcher::win {
namespace {

TEST(TextConversionTest, Utf8RoundTripAndLimits) {
    const std::string turkish =
        "G\xC3\xBC"
        "ncelle";  // "Güncelle"
    EXPECT_EQ(Utf8ToWide(turkish), L"G\u00FCncelle");
    EXPECT_EQ(WideToUtf8(Utf8ToWide(turkish)), turkish);
    EXPECT_EQ(Utf8ToWide(std::string()), L"");
    EXPECT_EQ(WideToUtf8(std::wstring()), "");
    EXPECT_EQ(Utf8ToWide("\xFF", 1), L"\uFFFD");
}

}  // namespace
}  // namespace patcher::win
