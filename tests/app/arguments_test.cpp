#include "app/arguments.h"

#include <gtest/gtest.h>

namespace patcher::app {

using namespace rules;

namespace {

Arguments Parse(ArgumentList list) {
    return ParseArguments(list);
}

TEST(ParseArgumentsTest, NoCommandReplacesEveryEarlierError) {
    const Arguments bare = Parse({L"--headless"});
    EXPECT_FALSE(bare.ok);
    EXPECT_EQ(bare.error, L"no command given");

    const Arguments unknown_only = Parse({L"--bogus", L"--level", L"fast"});
    EXPECT_FALSE(unknown_only.ok);
    EXPECT_EQ(unknown_only.error, L"no command given");
}

TEST(ParseArgumentsTest, LastCommandWinsAndErrorsDoNotStopTheWalk) {
    const Arguments both = Parse({L"--check", L"--update"});
    EXPECT_TRUE(both.ok);
    EXPECT_EQ(both.command, L"--update");

    // An unknown option before a valid command still fails the parse, and the walk continues so
    // later options are still applied.
    const Arguments bad = Parse({L"--chek", L"--check", L"--now", L"2026-01-01T00:00:00Z"});
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error, L"unknown option: --chek");
    EXPECT_EQ(bad.command, L"--check");
    EXPECT_EQ(bad.config.now, "2026-01-01T00:00:00Z");

    // The error reported is that of the last failing token.
    const Arguments two = Parse({L"-x", L"--check", L"--level", L"deep"});
    EXPECT_EQ(two.error, L"--level must be full, quick or size");
}

TEST(ParseArgumentsTest, ValueOptionsTakeTheNextTokenVerbatim) {
    const Arguments parsed = Parse({L"--check", L"--base-url", L"--offline", L"--data-dir", L""});
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.config.base_url, L"--offline");
    EXPECT_FALSE(parsed.config.offline);
    EXPECT_EQ(parsed.config.data_directory, L"");

    // Given last, a value option is ignored silently and the headless base URL stays empty.
    const Arguments last = Parse({L"--check", L"--base-url"});
    EXPECT_TRUE(last.ok);
    EXPECT_EQ(last.config.base_url, L"");
    EXPECT_EQ(last.config.key_service, L"");
}

TEST(ParseArgumentsTest, NumbersUseLeadingDigitsOnly) {
    EXPECT_EQ(Parse({L"--check", L"--download-workers", L"12abc"}).config.download_workers, 12u);
    EXPECT_EQ(Parse({L"--check", L"--download-workers", L"abc"}).config.download_workers, 0u);
    EXPECT_EQ(Parse({L"--check", L"--hold-ms", L""}).hold_milliseconds, 0u);
    // No overflow check: 2^32 + 5 wraps to 5.
    EXPECT_EQ(Parse({L"--check", L"--hold-ms", L"4294967301"}).hold_milliseconds, 5u);
}

// A working --level, --critical, --max-rate, --hold-ms and self-test argument are the end-to-end
// runs'; here what they refuse or fold together.
TEST(ParseArgumentsTest, RefusedValuesAndPathLists) {
    EXPECT_EQ(Parse({L"--self-test"}).error, L"--self-test needs a name");
    EXPECT_EQ(Parse({L"--check", L"--level", L"Full"}).error,
              L"--level must be full, quick or size");
    EXPECT_EQ(Parse({L"--update", L"--max-rate", L"2M"}).error,
              L"--max-rate must be a whole number of bytes per second (0 for no limit)");

    const Arguments owned = Parse(
        {L"--check", L"--user-owned", L"a.cfg", L"--no-user-owned", L"--user-owned", L"b.cfg"});
    EXPECT_EQ(owned.config.user_owned_paths, std::vector<std::string>{"b.cfg"});
    const Arguments defaults = Parse({L"--check"});
    EXPECT_EQ(defaults.config.user_owned_paths,
              (std::vector<std::string>{"garun2.cfg", "mouse.cfg", "channel.inf"}));
}

TEST(WindowOptionsTest, TheWindowTakesItsOwnOptionsAndRefusesEveryOther) {
    const struct {
        ArgumentList list;
        std::optional<std::wstring> refusal;
    } cases[] = {
        {{L"--after-self-update", L"--base-url", L"https://a/live", L"--game-exe", L"G.exe"}, {}},
        {{L"--data-dir", L"--level"}, {}},  // a value, not the option
        {{L"--ui-selftest", L"--screenshots", L"C:\\shots"}, {}},
        {{L"--level", L"quick"}, L"--level works only with --headless"},
        {{L"--base-url", L"x", L"--offline"}, L"--offline works only with --headless"},
        {{L"--check"}, L"--check works only with --headless"},
        {{L"--Base-url", L"x"}, L"unknown option: --Base-url"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowRefusal(c.list), c.refusal) << c.list.front();
    }

    const ArgumentList list = {L"--data-dir",     L"C:\\D\\", L"--base-url",         L"",
                               L"--root-key-b64", L"S2V5",    L"--after-self-update"};
    PatcherConfig config;
    config.base_url = L"https://built-in/live";
    ApplyWindowOptions(list, config);
    EXPECT_EQ(config.data_directory, L"C:\\D\\");
    EXPECT_EQ(config.base_url, L"https://built-in/live");  // an empty value keeps the default
    EXPECT_EQ(config.root_key, "S2V5");
    EXPECT_EQ(WindowRestartArguments(list), L"--data-dir \"C:\\D\\\\\" --root-key-b64 \"S2V5\"");
}

}  // namespace
}  // namespace patcher::app
