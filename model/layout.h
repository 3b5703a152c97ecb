// The window's geometry as plain arithmetic on the client size: every measure derives from one
// scale factor, so the whole layout grows and shrinks with the window and can be checked without
// one. The painter, the hit tests and the UI self-test all read the same record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/colours.h"

namespace patcher::model {

// Windows' MulDiv, portable: a * b / c with a 64-bit intermediate, rounded half away from zero;
// -1 when c is 0 or the result does not fit (as Windows answers).
std::int32_t PortableMulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// An axis-aligned rectangle as position and size; a point is inside when x <= px < x + width and
// y <= py < y + height (the convention of PtInRect).
struct Box {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::int32_t right() const { return x + width; }
    std::int32_t bottom() const { return y + height; }
    bool Contains(std::int32_t px, std::int32_t py) const {
        return px >= x && px < right() && py >= y && py < bottom();
    }
    bool operator==(const Box&) const = default;
};

// The 57 integers of one layout, in this order; "n·s" is n at the 900 x 560 design size scaled by
// s / 1000. Font heights are negative, as the platform's font request takes them.
struct Layout {
    std::int32_t scale;         // s, thousandths
    std::int32_t width;         // client width W, at least 1
    std::int32_t height;        // client height H, at least 1
    std::int32_t title_height;  // T
    std::int32_t news_width;    // N, the news column
    std::int32_t margin;        // m
    std::int32_t logo_gap;
    std::int32_t footer_height;
    std::int32_t dot_size;
    std::int32_t progress_height;
    std::int32_t logo_x;
    std::int32_t logo_y;
    std::int32_t logo_width;  // shrunk to the room left of the news column
    std::int32_t logo_height;
    std::int32_t news_x;  // news content (also the first-install controls' x)
    std::int32_t news_y;
    std::int32_t news_content_width;
    std::int32_t news_content_height;
    std::int32_t footer_top;  // F
    std::int32_t status_x;
    std::int32_t headline_y;
    std::int32_t status_width;
    std::int32_t headline_height;
    std::int32_t progress_x;
    std::int32_t progress_y;
    std::int32_t progress_width;
    std::int32_t detail_y;
    std::int32_t detail_height;
    std::int32_t action_x;
    std::int32_t action_y;
    std::int32_t action_width;
    std::int32_t action_height;
    std::int32_t secondary_x;
    std::int32_t secondary_y;
    std::int32_t secondary_width;
    std::int32_t secondary_height;
    std::int32_t prompt_y;
    std::int32_t prompt_height;
    std::int32_t edit_y;
    std::int32_t edit_width;
    std::int32_t edit_height;
    std::int32_t browse_x;
    std::int32_t browse_width;
    std::int32_t note_y;
    std::int32_t note_height;
    std::int32_t title_text_y;
    std::int32_t tabs_y;
    std::int32_t title_button_width;  // B
    std::int32_t settings_button_x;
    std::int32_t minimise_button_x;
    std::int32_t close_button_x;
    std::int32_t resize_border;
    std::int32_t body_font;
    std::int32_t button_font;
    std::int32_t large_font;
    std::int32_t small_bold_font;
    std::int32_t small_font;
};
static_assert(sizeof(Layout) == 57 * sizeof(std::int32_t));

Layout ComputeLayout(std::int32_t client_width, std::int32_t client_height);

// n at the design size scaled by the layout's factor: MulDiv(n, s, 1000).
std::int32_t Scaled(const Layout& layout, std::int32_t n);

// Where the controls sit (the spare label and progress holder stay hidden but are placed too).
struct ControlBoxes {
    Box spare_label;
    Box progress;
    Box action;
    Box secondary;  // "Yine de oyna"
    Box prompt;
    Box folder_edit;
    Box browse;
    Box note;
};
ControlBoxes PlaceControls(const Layout& layout);

// The colour painted behind a control's box: the panel of the footer and the news column, the
// ground elsewhere. A control erases (and a static text fills) with it, so none shows a box of
// another colour before or around its own drawing.
Rgb ColourBehind(const Layout& layout, const Box& box);

// The six fonts the window makes together; the news title is one pixel less tall than the body
// font because the body height is negative.
struct FontHeights {
    std::int32_t body;
    std::int32_t button;
    std::int32_t large;
    std::int32_t news_title;
    std::int32_t small_bold;
    std::int32_t small;
};
FontHeights FontHeightsOf(const Layout& layout);

// A work area or window rectangle in screen coordinates.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct WindowRect {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
    std::int32_t width;
    std::int32_t height;
};

// About half the work area (0.707 per side), at least 900 x 560 unless the work area is smaller,
// centred in it.
WindowRect TargetWindowRect(const ScreenRect& work_area);

// The smallest size the window may be dragged to, from the work area under the cursor.
void MinimumTrackSize(const ScreenRect& work_area, std::int32_t& width, std::int32_t& height);

// The part of a picture of (picture_width x picture_height) that covers an area of
// (area_width x area_height) without distortion, centred: the source rectangle for StretchBlt.
// Non-positive sizes give an empty box.
Box StageSourceRect(std::int32_t picture_width, std::int32_t picture_height,
                    std::int32_t area_width, std::int32_t area_height);

// One black band of the darkened lower half of the stage art, drawn with constant alpha.
struct ShadeBand {
    Box box;
    std::uint8_t alpha;
};
// The bands over the lower half of the ground area (x 0..ground width, y footer top - A/2 to
// footer top): at most 48, darker towards the footer; bands of zero height are left out.
std::vector<ShadeBand> StageShadeBands(const Layout& layout);

// The ground area the stage art covers: (0, T) to (W - N, F). Empty when either size is not
// positive (then no art is drawn).
Box GroundArea(const Layout& layout);

// The status region that SetStatus invalidates: from the left edge to the action button's left
// edge (the full width when that is not positive), from the footer top to the bottom.
Box StatusRegion(const Layout& layout);

// The painted parts of the status area.
struct StatusAreaBoxes {
    Box dot;
    Box headline;
    Box progress_track;
    Box detail;
};
StatusAreaBoxes StatusArea(const Layout& layout);

// How much of the progress track is filled: the download's share when its total is known,
// otherwise all of it in the main view and none elsewhere.
std::int32_t ProgressFillWidth(std::uint64_t bytes_done, std::uint64_t bytes_total,
                               std::int32_t track_width, bool view_is_main);

// The news list area (news_x, news_y, news_content_width, news_content_height) and its spacing.
Box NewsArea(const Layout& layout);
struct NewsGaps {
    std::int32_t title;
    std::int32_t date;
    std::int32_t item;
    std::int32_t separator_pad;
};
NewsGaps NewsGapsOf(const Layout& layout);

// The scroll offset kept within 0..max(content height - area height, 0).
std::int32_t ClampNewsScroll(std::int32_t offset, std::int32_t content_height,
                             std::int32_t area_height);

struct NewsScrollbar {
    bool visible = false;  // only when the content is taller than the area
    Box track;
    Box thumb;
};
NewsScrollbar NewsScrollbarOf(const Layout& layout, std::int32_t content_height,
                              std::int32_t offset);

// The offset after a mouse-wheel turn of `delta` (positive away from the user, which moves down
// the list): offset - delta * 3 * body font / 120, rounded as MulDiv does, never below 0.
std::int32_t WheelScrollOffset(const Layout& layout, std::int32_t offset, std::int32_t delta);

// The two news tab headings, given the measured widths of their texts in the small bold font.
std::array<Box, 2> NewsTabBoxes(const Layout& layout, std::int32_t first_text_width,
                                std::int32_t second_text_width);
// The amber bar under the current tab.
Box TabUnderline(const Layout& layout, const Box& tab);
// 0 or 1 for a point on a heading, -1 otherwise.
int NewsTabAt(const std::array<Box, 2>& tabs, std::int32_t x, std::int32_t y);

enum class TitleBarItem : std::int32_t { None = 0, Settings = 1, Minimise = 2, Close = 3 };

Box TitleButtonBox(const Layout& layout, TitleBarItem item);
TitleBarItem TitleBarItemAt(const Layout& layout, std::int32_t x, std::int32_t y);

// The part of the window a point is on (the window is all client area, so window and client
// coordinates are the same). The numbers are the platform's HT* codes, so the window can return
// them as is.
enum class HitZone : std::int32_t {
    Client = 1,
    Caption = 2,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};
// Resize borders first (corners before edges), then the title bar: its three buttons are client
// so they get clicks, the rest is caption so dragging moves the window.
HitZone HitTest(const Layout& layout, std::int32_t window_width, std::int32_t window_height,
                std::int32_t x, std::int32_t y);

// The look of an owner-drawn button (action, play-anyway, browse): disabled wins over pressed;
// every button but the action button has a one-pixel border in the line colour.
struct ButtonLook {
    Rgb fill;
    Rgb caption;
    bool border;
};
ButtonLook OwnerButtonLook(bool action_button, bool disabled, bool pressed);

// A title-bar button's background, when it has one: close hovered red, the settings button amber
// while the panel is open, any other hovered button the hover colour.
std::optional<Rgb> TitleButtonFill(TitleBarItem item, bool hovered, bool settings_open);
// Its glyph: text colour when hovered, muted otherwise.
Rgb TitleGlyphColour(bool hovered);

}  // namespace patcher::model
