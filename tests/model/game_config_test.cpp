#include "model/game_config.h"

#include "model/settings_panel_state.h"

#include <gtest/gtest.h>

#include "tests/core/test_status.h"

namespace patcher::model {
namespace {

GameConfig Parse(const std::string& text) {
    Result<GameConfig> parsed = ParseGameConfig(text);
    EXPECT_TRUE(parsed.ok()) << parsed.status().message;
    return parsed.ok() ? parsed.value() : GameConfig{};
}

std::string Lines(int count, const char* end) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "K" + std::to_string(i) + " " + end;
    return text;
}

TEST(GameConfigFileTest, AnAddedLineKeepsTheFilesLineEnds) {
    // A last line's CR with no LF after it is not a line end; writing one after it would make it
    // the file's first CR LF, and the next save would turn every line into CR LF.
    struct Case {
        const char* text;
        const char* saved;
    } cases[] = {
        {"WIDTH 1024\nHEIGHT 768\nGAMMA 3\r",
         "WIDTH 1024\nHEIGHT 768\nSOFTWARE_CURSOR\t1\nGAMMA 3\r"},
        {"A 1\r\nB 2\r", "A 1\r\nSOFTWARE_CURSOR\t1\r\nB 2\r"},
        {"A 1\n\r", "A 1\nSOFTWARE_CURSOR\t1\n\r"},
        {"A 1\rB 2", "A 1\rB 2\nSOFTWARE_CURSOR\t1"},
    };
    for (const Case& c : cases) {
        GameConfig config = Parse(c.text);
        ASSERT_TRUE(StepSetting(config, 3, +1));
        const std::string saved = SerializeGameConfig(config);
        EXPECT_EQ(saved, c.saved) << c.text;
        EXPECT_EQ(SerializeGameConfig(Parse(saved)), saved) << c.text;
    }
}

TEST(GameConfigFileTest, SplitsAtTheFirstBlankRun) {
    const GameConfig c = Parse("WIDTH \t 1920 \nHEIGHT=900\n\tGAMMA 3\nSOLO\n");
    ASSERT_EQ(c.lines.size(), 4u);
    EXPECT_EQ(c.lines[0].key + "|" + c.lines[0].separator + "|" + c.lines[0].value,
              "WIDTH| \t |1920 ");
    for (std::size_t i = 1; i < 4; ++i) EXPECT_TRUE(c.lines[i].key.empty()) << c.lines[i].raw;
}

TEST(GameConfigFileTest, CapsOnBytesAndLines) {
    const std::string at_cap(kMaxGameConfigBytes, 'x');
    EXPECT_TRUE(ParseGameConfig(at_cap).ok());
    test_support::ExpectBadFormat(
        ParseGameConfig(at_cap + "x").status(),
        "game config is larger than the cap (65537 bytes) -- this is probably not garun2.cfg");

    EXPECT_TRUE(ParseGameConfig(Lines(512, "\n")).ok());
    EXPECT_TRUE(ParseGameConfig(Lines(511, "\n") + "last").ok());
    for (const std::string& text : {Lines(513, "\n"), Lines(512, "\n") + "x"}) {
        test_support::ExpectBadFormat(
            ParseGameConfig(text).status(),
            "game config has more lines than the cap -- this is probably not garun2.cfg");
    }
}

TEST(GameConfigFileTest, FiveLineExampleKeepsWhatItDoesNotEdit) {
    GameConfig c = Parse("WINDOWED 1\r\nWIDTH\t\t1920\r\n; comment\r\nHEIGHT=900\r\nGAMMA 3\r\n");
    ASSERT_TRUE(StepSetting(c, 0, +1));
    SetValue(c, "HEIGHT", "1080");
    EXPECT_EQ(
        SerializeGameConfig(c),
        "WINDOWED 0\r\nWIDTH\t\t1920\r\n; comment\r\nHEIGHT=900\r\nGAMMA 3\r\nHEIGHT\t1080\r\n");
}

TEST(GameConfigFileTest, KeysMatchAnyCaseAndEveryCopyIsRewritten) {
    GameConfig c = Parse("windowed 1\nWIDTH 800\nx 0\nWidth 1024\n\n\n");
    EXPECT_FALSE(IsFullScreen(c));
    EXPECT_EQ(GetInt(c, "WIDTH", 0), 1024);  // the last copy is read
    SetValue(c, "WINDOWED", "0");
    SetValue(c, "width", "1280");
    SetValue(c, "GAMMA", "2");  // new: before the first blank line
    EXPECT_EQ(SerializeGameConfig(c), "windowed 0\nWIDTH 1280\nx 0\nWidth 1280\nGAMMA\t2\n\n\n");
    GameConfig empty = Parse("");
    SetValue(empty, "GAMMA", "2");
    EXPECT_EQ(SerializeGameConfig(empty), "GAMMA\t2\n");
}

TEST(GameConfigFileTest, GetIntReadsLeadingDigitsWithinBounds) {
    struct Case {
        const char* value;
        std::int32_t expected;
    } cases[] = {
        {"-2", -2},
        {"7px", 7},
        {"-", 5},
        {"", 5},
        {"10000001", 10000001},
        {"99999999999", 9999999},
        {"-99999999999", -9999999},
        {"+3", 5},
    };
    for (const Case& c : cases) {
        GameConfig config;
        SetValue(config, "K", c.value);
        EXPECT_EQ(GetInt(config, "K", 5), c.expected) << c.value;
    }
}

TEST(GameConfigFileTest, SnapToModePrefersTheSameAspectThenTheNearestArea) {
    const std::vector<DisplayMode> wide = {{1280, 720}, {1280, 1024}, {1600, 900}, {1920, 1080}};
    EXPECT_EQ(SnapToMode(wide, 1366, 768), 0u);
    EXPECT_EQ(SnapToMode({{1280, 720}, {1440, 900}}, 1280, 800), 1u);
    EXPECT_EQ(SnapToMode({{1000, 600}, {600, 1000}}, 800, 750), 1u);    // same distance: later wins
    EXPECT_EQ(SnapToMode({{1600, 900}, {1280, 1024}}, 1280, 720), 0u);  // aspect beats distance
    EXPECT_EQ(SnapToMode({}, 800, 600), 0u);
    EXPECT_EQ(SnapToMode(wide, 0, 600), 3u);
    EXPECT_EQ(NormaliseDisplayModes({{1024, 768}, {640, 480}, {800, 600}, {1024, 768}, {800, 900}}),
              (std::vector<DisplayMode>{{800, 600}, {800, 900}, {1024, 768}}));
}

TEST(GameConfigStepTest, OutOfRangeValuesClampAndAResolutionThatIsNoModeSnaps) {
    // How an out-of-range value shows and which arrow it dims is RowsAsThePlayerSeesThem's.
    GameConfig c = Parse("GAMMA 7\n");
    c.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
    EXPECT_TRUE(StepSetting(c, 2, -1));
    EXPECT_EQ(GetValue(c, "GAMMA"), "3");  // the clamped 4, minus 1

    SetValue(c, "HEIGHT", "600");
    SetValue(c, "WIDTH", "1366");  // not a mode: the first step only snaps, whichever way
    EXPECT_TRUE(StepSetting(c, 1, -1));
    EXPECT_TRUE(c.snapped);
    EXPECT_EQ(SettingValueText(c, 1), L"1024 \u00D7 768");
    EXPECT_FALSE(StepSetting(c, 1, 0));
    EXPECT_FALSE(c.snapped);

    for (int row : {0, 3}) {
        const std::wstring before = SettingValueText(c, row);
        EXPECT_TRUE(StepSetting(c, row, -1));
        EXPECT_NE(SettingValueText(c, row), before);
        EXPECT_TRUE(StepSetting(c, row, -1));
        EXPECT_EQ(SettingValueText(c, row), before);
        EXPECT_FALSE(SettingArrowAtLimit(c, row, -1));
    }
    c.modes.clear();
    EXPECT_EQ(SettingValueText(c, 1), L"\u2014");
    EXPECT_FALSE(StepSetting(c, 1, +1));
}

// A row as the player sees it: its value, which arrows are dimmed, whether the value is muted. A
// dimmed arrow is exactly one whose click changes nothing, and a file that cannot be edited mutes
// every row.
TEST(GameConfigStepTest, RowsAsThePlayerSeesThem) {
    struct Case {
        const char* text;
        int row;
        std::wstring value;
        bool left_dimmed, right_dimmed, muted;
    } cases[] = {
        {"GAMMA 0\n", 2, L"1 / 5", true, false, false},
        {"GAMMA 3\n", 2, L"4 / 5", false, false, false},
        {"GAMMA 4\n", 2, L"5 / 5", false, true, false},
        {"GAMMA 7\n", 2, L"5 / 5", false, true, false},
        {"GAMMA -2\n", 2, L"1 / 5", true, false, false},
        {"WINDOWED 1\nWIDTH 800\nHEIGHT 600\n", 1, L"800 × 600", true, false, false},
        {"WINDOWED 1\n", 1, L"1024 × 768", false, false, false},
        {"WINDOWED 0\nWIDTH 1920\nHEIGHT 1080\n", 1, L"1920 × 1080", false, true, true},
        {"", 0, L"AÇIK", false, false, false},
        {"WINDOWED 1\n", 0, L"KAPALI", false, false, false},
        {"SOFTWARE_CURSOR 1\n", 3, L"AÇIK", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GameConfig config = Parse(c.text);
        config.modes = {{800, 600}, {1024, 768}, {1920, 1080}};
        EXPECT_EQ(SettingValueText(config, c.row), c.value);
        EXPECT_EQ(SettingValueMuted(config, c.row, true), c.muted);
        EXPECT_TRUE(SettingValueMuted(config, c.row, false));
        for (const auto& [direction, dimmed] :
             {std::pair{-1, c.left_dimmed}, {+1, c.right_dimmed}}) {
            EXPECT_EQ(SettingArrowAtLimit(config, c.row, direction), dimmed) << direction;
            GameConfig stepped = config;
            EXPECT_EQ(StepSetting(stepped, c.row, direction), !dimmed) << direction;
        }
    }
}

TEST(SettingsPanelStateTest, LoadStepAndSave) {
    const std::vector<DisplayMode> modes = {{1024, 768}, {1280, 720}};
    struct Case {
        SettingsFile file;
        bool editable;
        std::wstring first_log;
    } cases[] = {
        {{L"D:\\g.cfg", false, true, "", ""},
         false,
         L"settings: exists but unreadable, refusing to edit D:\\g.cfg"},
        {{L"D:\\g.cfg", true, true, std::string(70000, 'x'), ""},
         false,
         L"settings: refusing to edit :: game config is larger than the cap (70000 bytes) -- this "
         L"is probably not garun2.cfg"},
        {{L"D:\\g.cfg", false, false, "", "cannot be read"},
         true,
         L"settings: no config yet :: cannot be read"},
        // The reader refuses empty files, but an empty file is no more suspect than a missing one.
        {{L"D:\\g.cfg", false, true, "", "garun2.cfg is empty", true}, true, L""},
    };
    for (const Case& c : cases) {
        SettingsPanelState panel;
        panel.message = L"old";
        const std::vector<std::wstring> log = LoadGameSettings(panel, c.file, modes);
        EXPECT_EQ(log.empty() ? L"" : log[0], c.first_log);
        EXPECT_EQ(panel.editable, c.editable);
        EXPECT_EQ(panel.message, c.editable ? L"" : L"Ayar dosyası okunamadı.");
        EXPECT_TRUE(StepGameSetting(panel, 0, +1).empty());
        EXPECT_EQ(SaveOffered(panel), c.editable);  // refused files never become dirty
        // A file that was not there (or empty) is written with LF line ends.
        if (c.editable) {
            EXPECT_EQ(SerializeGameConfig(panel.config), "WINDOWED\t1\n");
        }
    }

    SettingsPanelState panel;
    ASSERT_TRUE(LoadGameSettings(panel, {L"g", true, true, "WIDTH 1366\n", ""}, modes).empty());
    EXPECT_FALSE(SaveOffered(panel));
    EXPECT_EQ(StepGameSetting(panel, 1, +1),
              std::vector<std::wstring>{
                  L"settings: 1366x768 is not a display mode, snapped to 1280x720"});
    EXPECT_TRUE(SaveOffered(panel));
    GameSettingsSaved(panel, L"g", false);
    EXPECT_TRUE(SaveOffered(panel));
    EXPECT_EQ(panel.message, L"Ayarlar kaydedilemedi.");
    EXPECT_EQ(GameSettingsSaved(panel, L"g", true),
              std::vector<std::wstring>{L"settings: saved g"});
    EXPECT_FALSE(SaveOffered(panel));
}

// Saving over either cap would lock the panel out of the file for good, so such a step is refused.
TEST(SettingsPanelStateTest, AStepWhoseSaveWouldPassACapIsRefused) {
    auto sized = [](std::size_t bytes) {
        const std::string head = "WIDTH 800\nHEIGHT 600\n;";
        return head + std::string(bytes - head.size() - 1, 'x') + "\n";
    };
    struct Case {
        std::string text;
        int row;
        std::wstring log;  // empty: the step is taken
    } cases[] = {
        {sized(kMaxGameConfigBytes), 1,
         L"settings: step refused, the file would no longer load :: game config is larger than "
         L"the cap (65537 bytes)"},
        {sized(kMaxGameConfigBytes - 1), 1, L""},
        {Lines(512, "\n"), 2,
         L"settings: step refused, the file would no longer load :: game config has more lines "
         L"than the cap"},
        {Lines(511, "\n"), 2, L""},
        {"WINDOWED 0\n" + Lines(511, "\n"), 0, L""},
    };
    for (const Case& c : cases) {
        SettingsPanelState panel;
        ASSERT_TRUE(
            LoadGameSettings(panel, {L"g", true, true, c.text, ""}, {{800, 600}, {1024, 768}})
                .empty());
        const std::vector<std::wstring> log = StepGameSetting(panel, c.row, +1);
        const bool refused = !c.log.empty();
        EXPECT_EQ(log, refused ? std::vector<std::wstring>{c.log} : std::vector<std::wstring>{});
        EXPECT_EQ(SaveOffered(panel), !refused);
        EXPECT_EQ(panel.message,
                  refused ? L"Ayar dosyası çok büyük; değişiklik kaydedilmedi." : L"");
        // A step taken saves what loads again: fuzz_game_config holds every step to that.
        EXPECT_EQ(SerializeGameConfig(panel.config) == c.text, refused);
    }
}

TEST(SettingsPanelStateTest, ASaveThatWouldNotLoadAgainWritesNothing) {
    SettingsPanelState panel;
    panel.editable = panel.dirty = true;
    SetValue(panel.config, "K", std::string(kMaxGameConfigBytes, 'x'));
    const SettingsSave refused = PrepareGameSettingsSave(panel, L"D:\\g.cfg");
    EXPECT_FALSE(refused.write);
    EXPECT_EQ(refused.log, std::vector<std::wstring>{
                               L"settings: not saving D:\\g.cfg, the file would no longer load :: "
                               L"game config is larger than the cap (65539 bytes)"});
    EXPECT_EQ(panel.message, L"Ayar dosyası çok büyük; değişiklik kaydedilmedi.");
}

}  // namespace
}  // namespace patcher::model
