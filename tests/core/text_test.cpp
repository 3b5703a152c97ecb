#include "core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

using test_support::ExpectStatus;

// The cap's other side and an empty file are refused in the Validate tests.
TEST(ReadTextFileTest, CapIsInclusiveAndBytesComeBackAsStored) {
    const test_support::ScratchDir dir("text");
    dir.Write("cap", std::string(kMaxDocumentBytes, 'a'));
    Result<std::string> at_cap = ReadTextFile(dir.Path("cap"), "manifest");
    ASSERT_TRUE(at_cap.ok()) << at_cap.status().message;
    EXPECT_EQ(at_cap.value().size(), kMaxDocumentBytes);

    const std::string missing = dir.Path("absent");
    EXPECT_FALSE(FileExists(missing));
    ExpectStatus(ReadTextFile(missing, "state file").status(), StatusCode::BadInput,
                 "state file cannot be read: " + missing);

    // No newline translation: CR LF and NUL come back exactly as stored.
    const std::string binary("a\r\nb\0c\n", 7);
    dir.Write("binary", binary);
    EXPECT_TRUE(FileExists(dir.Path("binary")));
    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileSize(dir.Path("binary"), size));
    EXPECT_EQ(size, 7u);
    Result<std::string> read = ReadTextFile(dir.Path("binary"), "x");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), binary);
}

TEST(CheckTextFormatTest, RulesApplyInOrder) {
    const std::string byte = "contains a non-printable or non-ASCII byte";
    const std::string blank = "format: blank line", space = "format: leading/trailing space";
    const std::string twice = "format: double space (the field separator is one space)";
    const std::pair<std::string, std::string> cases[] = {
        {"a b\nc\n", ""},
        {"", "is empty"},
        {"a\tb\r\n", "is not LF-only (CR found)"},
        {"a\tb\n", byte},
        {"\xc5\x9f\n", byte},
        {"\x80\nb", byte},  // a non-ASCII byte on an earlier line wins over a missing final LF
        {"a\nb", "last line does not end with LF"},
        {"a\n\nb\n", blank},
        {"a \n", space},
        {"a  b\n", twice},
        {"ok\na  b\n c\n", twice},  // the first bad line is reported even if a later one is worse
        {std::string(1024, 'x') + "\n", ""},
        {"a\n" + std::string(1025, 'x') + "\n", "format: line exceeds 1024 bytes"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(PrintableCopy(text.substr(0, 40)));
        const Status s = CheckTextFormat(text, "manifest");
        EXPECT_EQ(s.code, message.empty() ? StatusCode::Ok : StatusCode::BadFormat);
        EXPECT_EQ(s.message, message.empty() ? "" : "manifest " + message);
    }
}

TEST(SplitTest, LinesAndFields) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a\nb"), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("a\n\nb\n"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n"), V{""});

    EXPECT_EQ(SplitFields(""), V{""});
    EXPECT_EQ(SplitFields("a b"), (V{"a", "b"}));
    EXPECT_EQ(SplitFields("a "), (V{"a", ""}));
    EXPECT_EQ(SplitFields(" a  b"), (V{"", "a", "", "b"}));
}

TEST(LexicalTest, PredicatesAndPrintableCopy) {
    EXPECT_EQ(PrintableCopy(std::string("a\tb\0\x7f~ \xff", 8)), "a?b??~ ?");
    EXPECT_TRUE(IsDigits("0123456789"));
    for (const char* text : {"", "12a", "-1"}) EXPECT_FALSE(IsDigits(text)) << text;

    EXPECT_TRUE(IsIsoUtc("2024-13-45T99:99:99Z"));  // the form only, not the calendar
    for (const char* text :
         {"2024-01-01T00:00:00+00:00", "2024-01-01 00:00:00Z", "2024-01-01t00:00:00Z",
          "2024-01-01T00:00:00z", "2024-01-01T00:00:0Z", "2024-01-01T00:00:000Z", ""}) {
        EXPECT_FALSE(IsIsoUtc(text)) << text;
    }

    const std::string hex(64, 'a');
    EXPECT_TRUE(IsLowerHex64(hex));
    EXPECT_TRUE(IsLowerHex64(std::string(32, '0') + std::string(32, 'f')));
    for (const std::string& text :
         {hex.substr(1), hex + "a", "A" + hex.substr(1), "g" + hex.substr(1)}) {
        EXPECT_FALSE(IsLowerHex64(text)) << text;
    }
    // IsAtOrAfter's edge is the Validate tests' expiry at its instant and one second before.
}

TEST(LexicalTest, ParseU64Limits) {
    const std::pair<const char*, std::uint64_t> accepted[] = {
        {"0", 0},
        {"007", 7},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551609", UINT64_MAX - 6},
    };
    for (const auto& [text, expected] : accepted) {
        std::uint64_t v = 99;
        EXPECT_TRUE(ParseU64(text, v)) << text;
        EXPECT_EQ(v, expected) << text;
    }
    for (const char* text :
         {"18446744073709551616", "184467440737095516150", "-1", "+1", "", "1 "}) {
        std::uint64_t v = 5;
        EXPECT_FALSE(ParseU64(text, v)) << text;
        EXPECT_EQ(v, 5u) << text;  // a refused value leaves the output alone
    }
}

TEST(LexicalTest, LeadingU64StopsAtTheFirstOtherByteOrBeforeOverflow) {
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"", 0},
        {"x12", 0},
        {"12abc", 12},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", 1844674407370955161u},
        {"007 9", 7},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(LeadingU64(text), value) << text;
}

TEST(LexicalTest, FindHeaderFieldTakesTheFirstExactKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"version\n", ""},
        {"versions 1\nversion 2 x\nversion 3\n", "2"},
        {"key a b c\nversion 7", "7"},
        {"Version 1\n", ""},
        {"", ""},
        {"version\nversion 4\n", ""},  // a bare key line decides even when a later one has a value
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(FindHeaderField(text, "version"), value) << text;
}

TEST(LexicalTest, CurrentUtcTimestampHasTheTemplateForm) {
    const std::string before = CurrentUtcTimestamp();
    EXPECT_TRUE(IsIsoUtc(before)) << before;
    EXPECT_TRUE(IsAtOrAfter(before, "2024-01-01T00:00:00Z")) << before;
    EXPECT_TRUE(IsAtOrAfter(CurrentUtcTimestamp(), before));
}

}  // namespace
}  // namespace patcher
