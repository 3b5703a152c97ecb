#include "win/platform/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/manifest.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {
namespace {

using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { LogClose(); }
    void TearDown() override { LogClose(); }

    std::wstring Read(const std::string& content, const std::wstring& key = L"game-exe ") {
        EXPECT_TRUE(WriteWholeFile(cfg_, content));
        std::wstring value = L"stale";
        const bool found = ReadSettingValue(cfg_, key, value);
        EXPECT_EQ(found, !value.empty());
        return found ? value : L"<none>";
    }

    ScratchDirectory scratch_{L"settings"};
    std::wstring cfg_ = scratch_.Join(L"patcher.cfg");
};

TEST_F(SettingsTest, LineReaderMatchesKeyExactly) {
    EXPECT_EQ(Read("game-exe  game.exe\n"), L"game.exe");
    EXPECT_EQ(Read("\xEF\xBB\xBFgame-exe a.exe\r\nnext b\r\n"), L"a.exe");
    EXPECT_EQ(Read("game-exe\n"), L"<none>");
    EXPECT_EQ(Read("game-exe \t \r\n"), L"<none>");
    EXPECT_EQ(Read("Game-exe x.exe\n"), L"<none>");
    EXPECT_EQ(Read(" game-exe x.exe\n"), L"<none>");
    // The first matching line decides, even when a later one would have a value too.
    EXPECT_EQ(Read("other 1\ngame-exe first.exe  \ngame-exe second.exe"), L"first.exe");
    EXPECT_EQ(Read("game-exe \tspaced name.exe\t\r"), L"spaced name.exe");
    EXPECT_EQ(Read("game-exe ok.exe", L""), L"<none>");
    EXPECT_EQ(Read(""), L"<none>");
    // Invalid UTF-8 is replaced, not fatal.
    EXPECT_EQ(Read(std::string("\xFF\xFE") + '\0' + "\x01garbage\ngame-exe g\xC3\xBC.exe\n"),
              L"g\u00FC.exe");

    std::wstring value = L"stale";
    EXPECT_FALSE(ReadSettingValue(scratch_.Join(L"missing.cfg"), L"game-exe ", value));
    EXPECT_EQ(value, L"");
    EXPECT_FALSE(ReadSettingValue(L"", L"game-exe ", value));
}

TEST_F(SettingsTest, FileAboveTheCapCountsAsAbsent) {
    const std::string line = "game-exe big.exe\n";
    std::string at_cap = line + std::string(kSettingsFileCap - line.size(), '#');
    EXPECT_EQ(Read(at_cap), L"big.exe");
    EXPECT_EQ(Read(at_cap + "#"), L"<none>");
    EXPECT_EQ(LoadGameExeSetting(scratch_.path()), L"");
}

TEST_F(SettingsTest, GameExeRulesGiveTheFirstFailingReason) {
    EXPECT_EQ(GameExeRefusalReason(L"Velmor2Launcher.exe"), "");
    EXPECT_EQ(GameExeRefusalReason(L""), "empty");
    EXPECT_EQ(GameExeRefusalReason(std::wstring(64, L'a')), "");
    EXPECT_EQ(GameExeRefusalReason(std::wstring(65, L'a')), "longer than 64 characters");
    EXPECT_EQ(GameExeRefusalReason(L"a\x01.exe"), "contains a control character");
    EXPECT_EQ(GameExeRefusalReason(L"..\\x.exe"), "contains a path separator");
    // The first offending character decides between the character rules.
    EXPECT_EQ(GameExeRefusalReason(L"c:a\\b"), "contains ':'");
    EXPECT_EQ(GameExeRefusalReason(L"a*b\\c"), "contains a wildcard or a reserved character");
    for (const wchar_t* name : {L"a?", L"a\"", L"a|"}) {
        EXPECT_EQ(GameExeRefusalReason(name), "contains a wildcard or a reserved character");
    }
    EXPECT_EQ(GameExeRefusalReason(L"."), "is a directory reference");
    EXPECT_EQ(GameExeRefusalReason(L".."), "is a directory reference");
    EXPECT_EQ(GameExeRefusalReason(L"a..b.exe"), "contains '..'");
    EXPECT_EQ(GameExeRefusalReason(L"game."), "ends with a dot or a space");
    EXPECT_EQ(GameExeRefusalReason(L"game "), "ends with a dot or a space");
    EXPECT_EQ(GameExeRefusalReason(L"con.exe"), "is a name Windows reserves for a device");
    EXPECT_EQ(GameExeRefusalReason(L"\u015Eahin.exe"), "");
}

TEST_F(SettingsTest, LoadGameExeSettingLogsItsDecision) {
    LogOpen(scratch_.path(), L"");
    EXPECT_EQ(LoadGameExeSetting(L""), L"");
    EXPECT_EQ(LoadGameExeSetting(scratch_.path()), L"");  // no file: no log line
    ASSERT_TRUE(WriteWholeFile(cfg_, "game-exe ..\\x.exe\n"));
    EXPECT_EQ(LoadGameExeSetting(scratch_.path()), L"");
    ASSERT_TRUE(WriteWholeFile(cfg_,
                               "game-exe \xC5\x9E"
                               "ahin.exe\n"));
    EXPECT_EQ(LoadGameExeSetting(scratch_.path() + L"\\"), L"\u015Eahin.exe");
    ASSERT_TRUE(WriteWholeFile(cfg_, "no key here\n"));
    EXPECT_EQ(LoadGameExeSetting(scratch_.path()), L"");

    const std::string log = ReadWholeFile(scratch_.Join(L"patcher.log"));
    const std::string refused =
        "settings: game-exe refused (contains a path separator), falling back to the built-in "
        "default: ..\\x.exe\r\n";
    ASSERT_NE(log.find(refused), std::string::npos) << log;
    const std::string accepted =
        "settings: game-exe = \xC5\x9E"
        "ahin.exe  (from " +
        WideToUtf8(cfg_) + ")\r\n";
    EXPECT_NE(log.find(accepted), std::string::npos) << log;
    // Two decisions, two lines.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
}

// One rule for manifest paths and the settings file: dots and spaces Win32 drops hide no device.
TEST(ReservedDeviceNameTest, ComparesTheBaseNameWithoutCase) {
    for (const char* name :
         {"nul.exe", "Com3", "lpt1.dat", "CON", "aux", "prn.txt.bak", "conin$", "CONOUT$.x", "com9",
          "LPT9", "con ", "Nul. .", "aux.tar.gz", "con .exe"}) {
        EXPECT_TRUE(IsReservedDeviceName(name)) << name;
    }
    for (const char* name :
         {"COM0", "CONSOLE", "aux_.exe", "LPT10", "", ".con", "xnul", "com\xC2\xB9"}) {
        EXPECT_FALSE(IsReservedDeviceName(name)) << name;
    }
}

}  // namespace
}  // namespace patcher::win
