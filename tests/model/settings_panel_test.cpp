#include "model/settings_panel_layout.h"

#include "model/settings_panel_state.h"
#include "model/window_texts.h"

#include <gtest/gtest.h>

namespace patcher::model {
namespace {

// Each label sits between the row above and its own value box, and a click on a label (or on
// the gap to the save button) does nothing. At the design size every row fits.
TEST(SettingsPanelLayoutTest, RowsStackWithoutOverlapAtAnySize) {
    for (const auto& [width, height] :
         {std::pair{900, 560}, {450, 280}, {1307, 764}, {900, 1200}, {3000, 600}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const SettingsPanelLayout p = ComputeSettingsPanel(ComputeLayout(width, height));
        if (width == 900 && height == 560) {
            EXPECT_TRUE(p.rows[4].fits && p.save_fits && p.notes_fit);  // the design size shows all
        }
        std::int32_t above = p.heading.bottom();
        for (int r = 0; r < kSettingsRows; ++r) {
            const SettingsRowBoxes& row = p.rows[static_cast<std::size_t>(r)];
            EXPECT_GE(row.label.y, above) << r;
            EXPECT_LE(row.label.bottom(), row.value.y) << r;
            above = row.value.bottom();
            if (!row.fits) continue;
            const std::int32_t mid = row.value.y + row.value.height / 2;
            EXPECT_EQ(SettingsHitAt(p, row.label.x + 1, row.label.y + 1), SettingsHit{}) << r;
            EXPECT_EQ(SettingsHitAt(p, row.left_arrow.x, mid),
                      (SettingsHit{SettingsHit::Kind::Row, r, -1}));
            EXPECT_EQ(SettingsHitAt(p, row.right_arrow.right() - 1, mid),
                      (SettingsHit{SettingsHit::Kind::Row, r, +1}));
        }
        EXPECT_GE(p.save.y, above);
        EXPECT_EQ(SettingsHitAt(p, p.save.x + 1, p.save.y - 1), SettingsHit{});
        if (p.save_fits) {
            EXPECT_EQ(SettingsHitAt(p, p.save.x + 1, p.save.y).kind, SettingsHit::Kind::Save);
        }
    }
}

// The patcher's row steps between its ends and is saved even when the game's file is not editable;
// a failed save keeps it offered.
TEST(SettingsPanelStateTest, TheDownloadLimitRowStepsAndSavesOnItsOwn) {
    SettingsPanelState panel;  // the game's file refused: not editable
    ShowDownloadLimit(panel, 2 * 1048576);
    EXPECT_EQ(PanelValueText(panel, kDownloadLimitRow), L"2 MB/s");
    EXPECT_FALSE(SaveOffered(panel));
    const struct {
        int direction;
        const wchar_t* shown;
        bool stepped;
    } steps[] = {{-1, L"1 MB/s", true},  {-1, L"Sınırsız", true}, {-1, L"Sınırsız", false},
                 {+1, L"1 MB/s", true},  {+1, L"2 MB/s", true},   {+1, L"5 MB/s", true},
                 {+1, L"10 MB/s", true}, {+1, L"20 MB/s", true},  {+1, L"20 MB/s", false}};
    for (const auto& step : steps) {
        EXPECT_EQ(StepDownloadLimit(panel, step.direction).size(), step.stepped ? 1u : 0u);
        EXPECT_EQ(PanelValueText(panel, kDownloadLimitRow), step.shown);
    }
    EXPECT_TRUE(PanelArrowAtLimit(panel, kDownloadLimitRow, +1));
    EXPECT_FALSE(PanelArrowAtLimit(panel, kDownloadLimitRow, -1));
    EXPECT_TRUE(SaveOffered(panel));
    DownloadLimitSaved(panel, L"patcher.cfg", false);
    EXPECT_TRUE(SaveOffered(panel));
    DownloadLimitSaved(panel, L"patcher.cfg", true);
    EXPECT_FALSE(SaveOffered(panel));
    EXPECT_EQ(panel.message, kTextSettingsSaved);
}

}  // namespace
}  // namespace patcher::model
