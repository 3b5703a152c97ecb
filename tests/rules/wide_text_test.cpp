#include "rules/wide_text.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

// Which sequences are broken is DecodeUtf8's, held by CleanTextTest; here, what stands in for them.
TEST(WideTextTest, ValidTextRoundTripsAndBadBytesAreReplaced) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"G\xC3\xBC\xC5\x9F", L"G\u00FC\u015F"},
        {"\xE2\x80\xA6", L"\u2026"},
        {"\xF0\x9F\x98\x80", L"\U0001F600"},
        {"", L""},
        {"a\xFFz", L"a\uFFFDz"},
        {"\xE2\x80", L"\uFFFD\uFFFD"},  // cut off: each byte replaced
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WidenUtf8(c.utf8), c.wide) << c.utf8;
        std::string exact;
        EXPECT_TRUE(NarrowToUtf8Exact(c.wide, exact));
        EXPECT_EQ(exact, NarrowToUtf8(c.wide));
        if (c.wide.find(L'\uFFFD') == std::wstring::npos) {
            EXPECT_EQ(exact, c.utf8);
        }
    }
}

TEST(WideTextTest, AnUnpairedSurrogateIsReplacedOrRefused) {
    struct Case {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {{L'a', wchar_t(0xD800)}, "a\xEF\xBF\xBD"},
        {{wchar_t(0xDC00), L'b'},
         "\xEF\xBF\xBD"
         "b"},
        {{wchar_t(0xD83D), L'c', wchar_t(0xDE00)},
         "\xEF\xBF\xBD"
         "c\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NarrowToUtf8(c.wide), c.utf8);
        std::string exact = "kept";
        EXPECT_FALSE(NarrowToUtf8Exact(c.wide, exact));
        EXPECT_EQ(exact, "kept");
    }
}

}  // namespace
}  // namespace patcher::rules
