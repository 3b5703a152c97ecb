#include "model/ui_self_test_sections.h"

#include <gtest/gtest.h>

#include "model/window_texts.h"

namespace patcher::model {

using namespace rules;

namespace {

TEST(UiSelfTestSectionsTest, ShippedCasesPassAtTheRealLayout) {
    const SelfTestSection sections[] = {
        GeometrySection(16, 39),   ActionStateSection(),
        StatusRegionSection(),     SettingsHitSection(),
        SyncedFolderHintSection(), ArrowCodePointSection(kArrowLeft, kArrowRight),
    };
    const wchar_t* verdicts[] = {L"GEOMETRY: OK",
                                 L"ACTION_STATE: OK",
                                 L"STATUS_REGION: OK",
                                 L"SETTINGS_HIT: OK",
                                 L"  OK   SYNCED_FOLDER_HINT: 6 yol",
                                 L"  OK   ARROW_CP: U+2039 U+203A"};
    for (std::size_t i = 0; i < std::size(sections); ++i) {
        EXPECT_EQ(sections[i].failures, 0) << i;
        ASSERT_FALSE(sections[i].lines.empty());
        EXPECT_EQ(sections[i].lines.back(), verdicts[i]);
        for (const std::wstring& line : sections[i].lines) {
            EXPECT_EQ(line.find(L"FAIL"), std::wstring::npos) << i;
        }
    }
}

TEST(UiSelfTestSectionsTest, BrokenCasesAreCounted) {
    const SelfTestSection small =
        GeometrySection(0, 0, {{L"100x100", 100, 100, 40, TaskbarEdge::Bottom}});
    EXPECT_EQ(small.failures, 1);
    EXPECT_EQ(small.lines.back(), L"GEOMETRY: FAILED");

    // A window too small for the footer and a settings column too narrow for its arrows.
    const SelfTestSection status = StatusRegionSection({{1024, 600}, {1, 1}});
    EXPECT_EQ(status.failures, 1);
    EXPECT_EQ(status.lines[1].rfind(kSelfTestFail, 0), 0u);
    EXPECT_EQ(status.lines.back(), L"STATUS_REGION: FAILED");
    const SelfTestSection settings = SettingsHitSection({{900, 600}, {60, 2000}});
    EXPECT_EQ(settings.failures, 1);
    EXPECT_EQ(settings.lines[1].rfind(kSelfTestFail, 0), 0u);
    EXPECT_EQ(settings.lines.back(), L"SETTINGS_HIT: FAILED");

    std::vector<ActionScenario> scenarios = DefaultActionScenarios();
    scenarios[2].expected = ActionButton::Install;
    scenarios[5].busy = true;
    EXPECT_EQ(ActionStateSection(scenarios).failures, 2);

    const SelfTestSection hints =
        SyncedFolderHintSection({{L"C:\\Velmor2", true}, {L"D:\\Dropbox", false}});
    EXPECT_EQ(hints.failures, 1);
    EXPECT_EQ(hints.lines.front(), L"         SYNC_MISS: C:\\Velmor2");
    EXPECT_EQ(hints.lines.back(), L"  FAIL SYNCED_FOLDER_HINT: 2 yol");
    EXPECT_EQ(ArrowCodePointSection(L"<", L"\u203A\u203A").lines[0],
              L"  FAIL ARROW_CP: U+003C U+203A U+203A");
}

// The geometry rules on a good layout with one measure broken by hand: each is reported alone.
TEST(UiSelfTestSectionsTest, ABrokenLayoutIsReportedByTheRuleItBreaks) {
    const ScreenRect work{0, 0, 1366, 728};
    const WindowRect window = TargetWindowRect(work);
    const Layout good = ComputeLayout(window.width, window.height);
    EXPECT_TRUE(GeometryFailures(work, window, good).empty());
    const struct {
        void (*breaks)(Layout&);
        const wchar_t* rule;
    } cases[] = {
        {[](Layout& l) { l.status_width = l.action_x; }, L"status runs under the action button"},
        {[](Layout& l) { l.logo_width = l.width; }, L"logo runs into the news column"},
        {[](Layout& l) { l.minimise_button_x += 1; }, L"minimize overlaps close"},
        {[](Layout& l) { l.news_content_height += l.footer_height; },
         L"news panel runs into the footer"},
        {[](Layout& l) { l.secondary_y = l.logo_y; }, L"logo runs into the secondary button"},
    };
    for (const auto& [breaks, rule] : cases) {
        Layout l = good;
        breaks(l);
        EXPECT_EQ(GeometryFailures(work, window, l), std::vector<std::wstring>{rule});
    }
}

TEST(UiSelfTestSectionsTest, ATextCutWithoutAnEllipsisOrStillTooWideFails) {
    const std::wstring text = L"Oyun açılamadı";
    const struct {
        std::wstring shown;
        std::int32_t width;
        bool ok;
    } cases[] = {
        {text, 90, true},               // fits
        {L"Oyun aç\u2026", 60, true},   // shortened and marked
        {L"Oyun aç", 55, false},        // cut off silently
        {text, 120, false},             // overflows its box
        {L"Oyun xy\u2026", 60, false},  // not the text's own start
    };
    for (const auto& c : cases) {
        const SelfTestSection section =
            TextFitSection({{L"900x560 headline", text, c.shown, c.width, 100}});
        EXPECT_EQ(section.failures, c.ok ? 0 : 1) << c.width;
        EXPECT_EQ(section.lines.back().rfind(c.ok ? kSelfTestOk : kSelfTestFail, 0), 0u);
    }
}

}  // namespace
}  // namespace patcher::model
