#include "core/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace patcher {
namespace {

class TempFile {
  public:
    explicit TempFile(const std::string& name)
        : path_((std::filesystem::temp_directory_path() / ("garun2_text_" + name)).string()) {}
    ~TempFile() { std::remove(path_.c_str()); }
    void Write(const std::string& bytes) const {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void ExpectFailure(const Status& s, StatusCode code, const std::string& message) {
    EXPECT_EQ(s.code, code) << s.message;
    EXPECT_EQ(s.message, message);
}

TEST(ReadTextFileTest, CapIsInclusiveAndCheckedBeforeReading) {
    TempFile file("cap");
    file.Write(std::string(kMaxDocumentBytes, 'a'));
    Result<std::string> at_cap = ReadTextFile(file.path(), "manifest");
    ASSERT_TRUE(at_cap.ok()) << at_cap.status().message;
    EXPECT_EQ(at_cap.value().size(), kMaxDocumentBytes);

    file.Write(std::string(kMaxDocumentBytes + 1, 'a'));
    ExpectFailure(ReadTextFile(file.path(), "manifest").status(), StatusCode::BadFormat,
                  "manifest exceeds the 1 MB cap (1048577 bytes) -- not parsed");
}

TEST(ReadTextFileTest, EmptyMissingAndBinaryFiles) {
    TempFile file("empty");
    file.Write("");
    ExpectFailure(ReadTextFile(file.path(), "key registry").status(), StatusCode::BadFormat,
                  "key registry is empty");

    const std::string missing = file.path() + ".absent";
    EXPECT_FALSE(FileExists(missing));
    ExpectFailure(ReadTextFile(missing, "state file").status(), StatusCode::BadInput,
                  "state file cannot be read: " + missing);

    // No newline translation: CR LF and NUL come back exactly as stored.
    const std::string binary("a\r\nb\0c\n", 7);
    file.Write(binary);
    EXPECT_TRUE(FileExists(file.path()));
    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileSize(file.path(), size));
    EXPECT_EQ(size, 7u);
    Result<std::string> read = ReadTextFile(file.path(), "x");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), binary);
}

TEST(CheckTextFormatTest, RulesApplyInOrder) {
    const std::string label = "manifest";
    EXPECT_TRUE(CheckTextFormat("a b\nc\n", label).ok());
    ExpectFailure(CheckTextFormat("", label), StatusCode::BadFormat, "manifest is empty");
    ExpectFailure(CheckTextFormat("a\tb\r\n", label), StatusCode::BadFormat,
                  "manifest is not LF-only (CR found)");
    ExpectFailure(CheckTextFormat("a\tb\n", label), StatusCode::BadFormat,
                  "manifest contains a non-printable or non-ASCII byte");
    ExpectFailure(CheckTextFormat(std::string("a\0b\n", 4), label), StatusCode::BadFormat,
                  "manifest contains a non-printable or non-ASCII byte");
    ExpectFailure(CheckTextFormat("a\x7f\n", label), StatusCode::BadFormat,
                  "manifest contains a non-printable or non-ASCII byte");
    ExpectFailure(CheckTextFormat("\xc5\x9f\n", label), StatusCode::BadFormat,
                  "manifest contains a non-printable or non-ASCII byte");
    // A non-ASCII byte on an earlier line wins over a missing final LF.
    ExpectFailure(CheckTextFormat("\x80\nb", label), StatusCode::BadFormat,
                  "manifest contains a non-printable or non-ASCII byte");
    ExpectFailure(CheckTextFormat("a\nb", label), StatusCode::BadFormat,
                  "manifest last line does not end with LF");
    ExpectFailure(CheckTextFormat("a\n\nb\n", label), StatusCode::BadFormat,
                  "manifest format: blank line");
    ExpectFailure(CheckTextFormat("\n", label), StatusCode::BadFormat,
                  "manifest format: blank line");
    ExpectFailure(CheckTextFormat(" \n", label), StatusCode::BadFormat,
                  "manifest format: leading/trailing space");
    ExpectFailure(CheckTextFormat("a \n", label), StatusCode::BadFormat,
                  "manifest format: leading/trailing space");
    ExpectFailure(CheckTextFormat("a  b\n", label), StatusCode::BadFormat,
                  "manifest format: double space (the field separator is one space)");
    // Line order decides: the first bad line is reported even if a later line is worse.
    ExpectFailure(CheckTextFormat("ok\na  b\n c\n", label), StatusCode::BadFormat,
                  "manifest format: double space (the field separator is one space)");
}

TEST(CheckTextFormatTest, LineLengthLimitIsInclusive) {
    EXPECT_TRUE(CheckTextFormat(std::string(1024, 'x') + "\n", "manifest").ok());
    ExpectFailure(CheckTextFormat("a\n" + std::string(1025, 'x') + "\n", "key registry"),
                  StatusCode::BadFormat, "key registry format: line exceeds 1024 bytes");
}

TEST(SplitTest, LinesAndFields) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a\n"), V{"a"});
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
    EXPECT_FALSE(IsDigits(""));
    EXPECT_FALSE(IsDigits("12a"));
    EXPECT_FALSE(IsDigits("-1"));

    EXPECT_TRUE(IsIsoUtc("2024-13-45T99:99:99Z"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01T00:00:00+00:00"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01 00:00:00Z"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01t00:00:00Z"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01T00:00:00z"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01T00:00:0Z"));
    EXPECT_FALSE(IsIsoUtc("2024-01-01T00:00:000Z"));
    EXPECT_FALSE(IsIsoUtc(""));

    const std::string hex(64, 'a');
    EXPECT_TRUE(IsLowerHex64(hex));
    EXPECT_TRUE(IsLowerHex64(std::string(32, '0') + std::string(32, 'f')));
    EXPECT_FALSE(IsLowerHex64(hex.substr(1)));
    EXPECT_FALSE(IsLowerHex64(hex + "a"));
    EXPECT_FALSE(IsLowerHex64("A" + hex.substr(1)));
    EXPECT_FALSE(IsLowerHex64("g" + hex.substr(1)));

    EXPECT_TRUE(IsAtOrAfter("2024-01-01T00:00:00Z", "2024-01-01T00:00:00Z"));
    EXPECT_TRUE(IsAtOrAfter("2024-01-01T00:00:01Z", "2024-01-01T00:00:00Z"));
    EXPECT_FALSE(IsAtOrAfter("2023-12-31T23:59:59Z", "2024-01-01T00:00:00Z"));
}

TEST(LexicalTest, ParseU64Limits) {
    std::uint64_t v = 99;
    EXPECT_TRUE(ParseU64("0", v));
    EXPECT_EQ(v, 0u);
    EXPECT_TRUE(ParseU64("007", v));
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(ParseU64("18446744073709551615", v));
    EXPECT_EQ(v, UINT64_MAX);
    EXPECT_TRUE(ParseU64("00000000000000000000018446744073709551615", v));
    EXPECT_EQ(v, UINT64_MAX);
    EXPECT_TRUE(ParseU64("18446744073709551609", v));
    EXPECT_EQ(v, UINT64_MAX - 6);
    v = 5;
    EXPECT_FALSE(ParseU64("18446744073709551616", v));
    EXPECT_FALSE(ParseU64("18446744073709551620", v));
    EXPECT_FALSE(ParseU64("99999999999999999999", v));
    EXPECT_FALSE(ParseU64("184467440737095516150", v));
    EXPECT_FALSE(ParseU64("-1", v));
    EXPECT_FALSE(ParseU64("+1", v));
    EXPECT_FALSE(ParseU64("", v));
    EXPECT_FALSE(ParseU64("1 ", v));
    EXPECT_EQ(v, 5u);  // a refused value leaves the output alone
}

TEST(LexicalTest, LeadingU64StopsAtTheFirstOtherByteOrBeforeOverflow) {
    const std::pair<const char*, std::uint64_t> cases[] = {
        {"", 0},
        {"x12", 0},
        {"12abc", 12},
        {"3000", 3000},
        {"18446744073709551615", UINT64_MAX},
        {"18446744073709551616", 1844674407370955161u},
        {"007 9", 7},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(LeadingU64(text), value) << text;
}

TEST(LexicalTest, FindHeaderFieldTakesTheFirstExactKey) {
    EXPECT_EQ(FindHeaderField("version\n", "version"), "");
    EXPECT_EQ(FindHeaderField("versions 1\nversion 2 x\nversion 3\n", "version"), "2");
    EXPECT_EQ(FindHeaderField("key a b c\nversion 7", "version"), "7");
    EXPECT_EQ(FindHeaderField("Version 1\n", "version"), "");
    EXPECT_EQ(FindHeaderField("", "version"), "");
    // A bare key line decides even when a later line carries a value.
    EXPECT_EQ(FindHeaderField("version\nversion 4\n", "version"), "");
}

TEST(LexicalTest, CurrentUtcTimestampHasTheTemplateForm) {
    const std::string before = CurrentUtcTimestamp();
    EXPECT_TRUE(IsIsoUtc(before)) << before;
    EXPECT_TRUE(IsAtOrAfter(before, "2024-01-01T00:00:00Z")) << before;
    EXPECT_TRUE(IsAtOrAfter(CurrentUtcTimestamp(), before));
}

}  // namespace
}  // namespace patcher
