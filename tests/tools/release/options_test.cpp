#include "tools/release/options.h"

#include <gtest/gtest.h>

namespace patcher::release {
namespace {

const std::vector<OptionSpec> kSpecs = {{"out"}, {"add", true, true}, {"force", false, false}};

TEST(ReleaseOptions, ValueFormsRepeatsAndPositionalsInAnyOrder) {
    ParsedOptions parsed;
    std::string error;
    ASSERT_TRUE(ParseOptions(
        {"--add", "a=1", "FILE", "--out=x", "--add=b=2", "--force", "--", "--not-an-option"},
        kSpecs, 2, parsed, error))
        << error;
    EXPECT_EQ(parsed.Get("out"), "x");
    EXPECT_EQ(parsed.All("add"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_TRUE(parsed.Has("force"));
    EXPECT_FALSE(parsed.Has("help"));
    EXPECT_EQ(parsed.positionals(), (std::vector<std::string>{"FILE", "--not-an-option"}));
    EXPECT_EQ(FirstMissing(parsed, {"out", "force", "add"}), "");
}

TEST(ReleaseOptions, EveryMistakeIsNamed) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--out"}, "--out needs a value"},
        {{"--out="}, "--out needs a non-empty value"},
        {{"--out", "a", "--out", "b"}, "--out is given more than once"},
        {{"--force=yes"}, "--force takes no value"},
        {{"one", "two"}, "unexpected argument: two"},
    };
    for (const auto& [args, expected] : cases) {
        ParsedOptions parsed;
        std::string error;
        EXPECT_FALSE(ParseOptions(args, kSpecs, 1, parsed, error)) << expected;
        EXPECT_EQ(error, expected);
    }
}

TEST(ReleaseOptions, HelpNeedsNoTableEntry) {
    ParsedOptions parsed;
    std::string error;
    ASSERT_TRUE(ParseOptions({"--help"}, kSpecs, 0, parsed, error));
    EXPECT_TRUE(parsed.Has("help"));
    EXPECT_EQ(FirstMissing(parsed, {"out"}), "out");
}

}  // namespace
}  // namespace patcher::release
