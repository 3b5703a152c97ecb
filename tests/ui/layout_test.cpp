#include "ui/layout.h"

#include <gtest/gtest.h>

#include <climits>
#ifdef _WIN32
#include <windows.h>
#endif

namespace patcher::win {
namespace {

TEST(PortableMulDivTest, RoundsHalfAwayFromZeroLikeWindows) {
    struct Case {
        std::int32_t a, b, c, expected;
    } cases[] = {
        {36, 1000, 1000, 36},
        {5, 1, 2, 3},
        {-5, 1, 2, -3},
        {5, -1, 2, -3},
        {5, 1, -2, -3},
        {-5, -1, -2, -3},
        {7, 1, 3, 2},
        {8, 1, 3, 3},
        {1, 1, 0, -1},
        {INT_MAX, 2, 1, -1},
        {INT_MAX, 2, 2, INT_MAX},
        {-INT_MAX, 2, 2, -INT_MAX},
        {46341, 46341, 1, -1},
        {0, 5, 7, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortableMulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
#ifdef _WIN32
        EXPECT_EQ(PortableMulDiv(c.a, c.b, c.c), ::MulDiv(c.a, c.b, c.c))
            << c.a << "*" << c.b << "/" << c.c;
#endif
    }
}

TEST(ComputeLayoutTest, DesignSizeTinyAndWideShortWindows) {
    const Layout design = ComputeLayout(900, 560);
    EXPECT_EQ(design.scale, 1000);
    EXPECT_EQ(design.title_height, 36);
    EXPECT_EQ(design.news_width, 300);
    EXPECT_EQ(design.footer_top, 468);
    EXPECT_EQ(PlaceControls(design).action, (Box{682, 488, 190, 52}));
    EXPECT_EQ(design.settings_button_x, 762);
    EXPECT_EQ(design.minimise_button_x, 808);
    EXPECT_EQ(design.close_button_x, 854);
    EXPECT_EQ(design.title_button_width, 46);
    EXPECT_EQ(FontHeightsOf(design).body, -15);
    EXPECT_EQ(FontHeightsOf(design).news_title, -14);

    for (const Layout& tiny : {ComputeLayout(1, 1), ComputeLayout(0, -5)}) {
        EXPECT_EQ(tiny.scale, 1);
        EXPECT_EQ(tiny.width, 1);
        EXPECT_EQ(tiny.title_height, 12);
        EXPECT_EQ(tiny.footer_top, 13);  // T + 1, though the window is 1 pixel tall
        EXPECT_EQ(tiny.title_button_width, 24);
        const FontHeights f = FontHeightsOf(tiny);
        for (std::int32_t h : {f.body, f.button, f.large, f.small_bold, f.small}) EXPECT_EQ(h, -9);
        EXPECT_EQ(f.news_title, -8);
    }

    // Very wide and short: the height sets the scale, and the logo stays left of the news column
    // (with these proportions 230·s never exceeds that room, so it keeps its full size).
    const Layout wide = ComputeLayout(3000, 280);
    EXPECT_EQ(wide.scale, 500);
    EXPECT_EQ(wide.title_height, 18);
    EXPECT_EQ(wide.logo_width, 115);
    EXPECT_EQ(wide.logo_height, 38);
    EXPECT_LE(wide.logo_x + wide.logo_width, wide.width - wide.news_width);
}

TEST(TargetWindowRectTest, HalfTheWorkAreaCentredButNeverBelowTheDesignSize) {
    struct Case {
        ScreenRect work;
        WindowRect expected;
    } cases[] = {
        {{0, 0, 1366, 768}, {200, 104, 1166, 664, 966, 560}},
        {{0, 0, 1024, 600}, {62, 20, 962, 580, 900, 560}},
        {{0, 0, 800, 500}, {0, 0, 800, 500, 800, 500}},
        {{72, 0, 1920, 1080}, {342, 158, 1649, 922, 1307, 764}},
        {{10, 10, 10, 10}, {10, 10, 11, 11, 1, 1}},
    };
    for (const Case& c : cases) {
        const WindowRect r = TargetWindowRect(c.work);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
        EXPECT_EQ(r.width, c.expected.width);
        EXPECT_EQ(r.height, c.expected.height);
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
    EXPECT_EQ(bands.front().box.y, 252);
    EXPECT_EQ(bands.front().alpha, 0);
    EXPECT_EQ(bands.back().box.bottom(), 468);
    EXPECT_EQ(bands.back().alpha, 210);
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
        {0, 0, HitZone::top_left},
        {899, 0, HitZone::top_right},
        {400, 5, HitZone::top},
        {0, 559, HitZone::bottom_left},
        {894, 554, HitZone::bottom_right},
        {400, 554, HitZone::bottom},
        {5, 300, HitZone::left},
        {894, 300, HitZone::right},
        {400, 20, HitZone::caption},
        {770, 20, HitZone::client},
        {860, 35, HitZone::client},
        {400, 36, HitZone::client},
        {893, 6, HitZone::client},
        {761, 20, HitZone::caption},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HitTest(l, 900, 560, c.x, c.y), c.expected) << c.x << "," << c.y;
    }
    EXPECT_EQ(TitleBarItemAt(l, 807, 0), TitleBarItem::settings);
    EXPECT_EQ(TitleBarItemAt(l, 808, 0), TitleBarItem::minimise);
    EXPECT_EQ(TitleBarItemAt(l, 899, 35), TitleBarItem::close);
    EXPECT_EQ(TitleBarItemAt(l, 899, 36), TitleBarItem::none);
}

TEST(NewsScrollTest, ClampThumbAndWheel) {
    const Layout l = ComputeLayout(900, 560);
    const Box area = NewsArea(l);
    EXPECT_EQ(ClampNewsScroll(50, area.height - 10, area.height), 0);  // content fits: snaps to 0
    EXPECT_EQ(ClampNewsScroll(-3, 1000, 300), 0);
    EXPECT_EQ(ClampNewsScroll(900, 1000, 300), 700);
    EXPECT_FALSE(NewsScrollbarOf(l, area.height, 0).visible);

    const std::int32_t content = area.height * 4;
    const NewsScrollbar top = NewsScrollbarOf(l, content, 0);
    const NewsScrollbar bottom = NewsScrollbarOf(l, content, content);  // clamped to the end
    ASSERT_TRUE(top.visible);
    EXPECT_EQ(top.track, (Box{area.right() - 3, area.y, 3, area.height}));
    EXPECT_EQ(top.thumb.y, area.y);
    EXPECT_EQ(top.thumb.height, area.height / 4);
    EXPECT_EQ(bottom.thumb.bottom(), area.bottom());

    // Body font -15: one notch (120) away from the user moves 45 pixels down the list.
    EXPECT_EQ(WheelScrollOffset(l, 0, 120), 45);
    EXPECT_EQ(WheelScrollOffset(l, 100, -120), 55);
    EXPECT_EQ(WheelScrollOffset(l, 10, -240), 0);
    EXPECT_EQ(WheelScrollOffset(l, 0, 1), 0);  // 0.375 rounds to 0
}

TEST(StatusAreaTest, ProgressFillAndRegion) {
    EXPECT_EQ(ProgressFillWidth(0, 0, 300, true), 300);
    EXPECT_EQ(ProgressFillWidth(0, 0, 300, false), 0);
    EXPECT_EQ(ProgressFillWidth(1, 3, 300, false), 100);
    EXPECT_EQ(ProgressFillWidth(2, 3, 301, false), 200);  // 200.67 truncated
    EXPECT_EQ(ProgressFillWidth(9, 3, 300, false), 300);
    const Layout l = ComputeLayout(900, 560);
    EXPECT_EQ(StatusRegion(l), (Box{0, 468, 682, 92}));
}

}  // namespace
}  // namespace patcher::win
