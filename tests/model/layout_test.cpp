#include "model/layout.h"

#include <gtest/gtest.h>

#include <tuple>

namespace patcher::model {
namespace {

TEST(ComputeLayoutTest, TinyAndWideShortWindows) {
    for (const Layout& tiny : {ComputeLayout(1, 1), ComputeLayout(0, -5)}) {
        EXPECT_EQ(tiny.scale, 1);
        EXPECT_EQ(tiny.width, 1);
        EXPECT_EQ(tiny.footer_top, 13);  // T + 1, though the window is 1 pixel tall
        const FontHeights f = FontHeightsOf(tiny);
        for (std::int32_t h : {f.body, f.button, f.large, f.small_bold, f.small}) EXPECT_EQ(h, -9);
        EXPECT_EQ(f.news_title, -8);
    }

    // Very wide and short: the height sets the scale, and the logo stays left of the news column.
    const Layout wide = ComputeLayout(3000, 280);
    EXPECT_EQ(wide.scale, 500);
    EXPECT_LE(wide.logo_x + wide.logo_width, wide.width - wide.news_width);
}

TEST(TargetWindowRectTest, AWorkAreaBelowTheDesignSizeIsFilled) {
    struct Case {
        ScreenRect work;
        WindowRect expected;
    } cases[] = {
        {{0, 0, 800, 500}, {0, 0, 800, 500, 800, 500}},
        {{10, 10, 10, 10}, {10, 10, 11, 11, 1, 1}},
    };
    for (const Case& c : cases) {
        const WindowRect r = TargetWindowRect(c.work);
        const WindowRect& e = c.expected;
        EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom, r.width, r.height),
                  std::tie(e.left, e.top, e.right, e.bottom, e.width, e.height))
            << c.work.right << "x" << c.work.bottom;
    }
}

TEST(StageArtTest, CoverCropAndDarkeningBands) {
    struct Case {
        std::int32_t w, h, area_w, area_h;
        Box expected;
    } cases[] = {
        {600, 432, 600, 432, {0, 0, 600, 432}},     // the area's own aspect: uncropped
        {500, 500, 600, 432, {0, 70, 500, 360}},    // square in a wide area: top and bottom go
        {1000, 200, 600, 432, {361, 0, 278, 200}},  // very wide picture: both sides go
        {0, 100, 600, 432, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StageSourceRect(c.w, c.h, c.area_w, c.area_h), c.expected) << c.w << "x" << c.h;
    }

    const Layout l = ComputeLayout(900, 560);  // ground 600 x 432: bands over y 252..468
    const std::vector<ShadeBand> bands = StageShadeBands(l);
    ASSERT_EQ(bands.size(), 48u);
    EXPECT_EQ(bands.back().box.bottom(), 468);
    for (std::size_t i = 1; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].box.y, bands[i - 1].box.bottom());
        EXPECT_GE(bands[i].alpha, bands[i - 1].alpha);
    }
    // A ground area shorter than 48 bands' worth skips the empty ones.
    EXPECT_LT(StageShadeBands(ComputeLayout(200, 60)).size(), 48u);
}

TEST(HitTestTest, BordersBeforeTitleBarAndButtonsStayClickable) {
    const Layout l = ComputeLayout(900, 560);  // border 6, title 36
    struct Case {
        std::int32_t x, y;
        HitZone expected;
    } cases[] = {
        {0, 0, HitZone::TopLeft},         {899, 0, HitZone::TopRight},
        {400, 5, HitZone::Top},           {0, 559, HitZone::BottomLeft},
        {894, 554, HitZone::BottomRight}, {400, 554, HitZone::Bottom},
        {5, 300, HitZone::Left},          {894, 300, HitZone::Right},
        {400, 20, HitZone::Caption},      {770, 20, HitZone::Client},
        {860, 35, HitZone::Client},       {400, 36, HitZone::Client},
        {893, 6, HitZone::Client},        {761, 20, HitZone::Caption},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HitTest(l, 900, 560, c.x, c.y), c.expected) << c.x << "," << c.y;
    }
    EXPECT_EQ(TitleBarItemAt(l, 807, 0), TitleBarItem::Settings);
    EXPECT_EQ(TitleBarItemAt(l, 808, 0), TitleBarItem::Minimise);
}

TEST(NewsScrollTest, ClampThumbAndWheel) {
    const Layout l = ComputeLayout(900, 560);
    const Box area = NewsArea(l);
    EXPECT_EQ(ClampNewsScroll(50, area.height - 10, area.height), 0);  // content fits: snaps to 0
    EXPECT_EQ(ClampNewsScroll(-3, 1000, 300), 0);
    EXPECT_EQ(ClampNewsScroll(900, 1000, 300), 700);
    EXPECT_FALSE(NewsScrollbarOf(l, area.height, 0).visible);

    // Body font -15: one notch (120) away from the user moves 45 pixels down the list.
    EXPECT_EQ(WheelScrollOffset(l, 0, 120), 45);
    EXPECT_EQ(WheelScrollOffset(l, 100, -120), 55);
    EXPECT_EQ(WheelScrollOffset(l, 10, -240), 0);
    EXPECT_EQ(WheelScrollOffset(l, 0, 1), 0);  // 0.375 rounds to 0
}

TEST(StatusAreaTest, ProgressFillAndStatusBoxes) {
    EXPECT_EQ(ProgressFillWidth(0, 0, 300, true), 300);
    EXPECT_EQ(ProgressFillWidth(0, 0, 300, false), 0);
    EXPECT_EQ(ProgressFillWidth(2, 3, 301, false), 200);  // 200.67 truncated
    EXPECT_EQ(ProgressFillWidth(9, 3, 300, false), 300);

    // At any size the headline starts right of the dot, beside it, and the lines stack without
    // overlapping, all left of the action button.
    for (const Layout& sized :
         {ComputeLayout(450, 280), ComputeLayout(900, 560), ComputeLayout(3840, 2100)}) {
        const StatusAreaBoxes b = StatusArea(sized);
        SCOPED_TRACE(testing::Message() << sized.width << "x" << sized.height);
        EXPECT_LT(b.dot.right(), b.headline.x);
        EXPECT_GE(b.dot.y, b.headline.y);
        EXPECT_LE(b.dot.bottom(), b.headline.bottom());
        EXPECT_LE(b.headline.bottom(), b.progress_track.y);
        EXPECT_LE(b.progress_track.bottom(), b.detail.y);
        EXPECT_LE(b.detail.bottom(), sized.height);
        EXPECT_LE(b.headline.right(), sized.action_x);
        EXPECT_LE(b.detail.right(), sized.action_x);
    }
}

TEST(NewsTabsTest, BoxesUnderlineAndClicks) {
    // Texts 70 and 100 wide: the second tab starts 18 after the first.
    const Layout l = ComputeLayout(900, 560);
    const std::array<Box, 2> tabs = NewsTabBoxes(l, 70, 100);
    EXPECT_EQ(TabUnderline(l, tabs[1]), (Box{708, 76, 100, 2}));
    EXPECT_EQ(TabUnderline(ComputeLayout(450, 280), tabs[0]).height, 1);
    struct Case {
        std::int32_t x, y;
        int tab;
    } cases[] = {
        {620, 56, 0}, {689, 75, 0},  {690, 60, -1}, {708, 56, 1},
        {807, 75, 1}, {808, 60, -1}, {700, 76, -1}, {750, 55, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(NewsTabAt(tabs, c.x, c.y), c.tab) << c.x << "," << c.y;
}

}  // namespace
}  // namespace patcher::model
