#include "model/layout.h"

#include <algorithm>
#include <limits>

namespace patcher::model {
namespace {

constexpr std::int32_t kDesignWidth = 900;
constexpr std::int32_t kDesignHeight = 560;
constexpr int kShadeBands = 48;
constexpr std::int32_t kMaxShadeAlpha = 210;

std::int32_t Positive(std::int32_t value) {
    return std::max(value, 1);
}

// The logo keeps its aspect ratio when it must shrink into the room left of the news column.
void FitLogo(Layout& l) {
    const std::int32_t room = l.width - 2 * l.margin - l.news_width;
    if (room <= 0 || l.logo_width <= room) return;
    l.logo_height = PortableMulDiv(l.logo_height, room, l.logo_width);
    l.logo_width = room;
}

}  // namespace

std::int32_t PortableMulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) return -1;
    std::int64_t numerator = static_cast<std::int64_t>(a) * b;
    std::int64_t divisor = c;
    if (divisor < 0) {
        numerator = -numerator;
        divisor = -divisor;
    }
    // Half the divisor towards the result's sign rounds half away from zero.
    const std::int64_t half = divisor / 2;
    const std::int64_t result = (numerator >= 0 ? numerator + half : numerator - half) / divisor;
    if (result > std::numeric_limits<std::int32_t>::max() ||
        result < -std::numeric_limits<std::int32_t>::max()) {
        return -1;
    }
    return static_cast<std::int32_t>(result);
}

std::int32_t Scaled(const Layout& layout, std::int32_t n) {
    return PortableMulDiv(n, layout.scale, 1000);
}

Layout ComputeLayout(std::int32_t client_width, std::int32_t client_height) {
    Layout l{};
    const std::int32_t w = Positive(client_width);
    const std::int32_t h = Positive(client_height);
    l.scale = std::max(
        std::min(PortableMulDiv(w, 1000, kDesignWidth), PortableMulDiv(h, 1000, kDesignHeight)), 1);
    auto s = [&l](std::int32_t n) { return Scaled(l, n); };
    l.width = w;
    l.height = h;
    l.title_height = std::max(s(36), 12);
    l.news_width = static_cast<std::int32_t>(std::int64_t{w} * 300 / kDesignWidth);  // truncated
    l.margin = s(28);
    l.logo_gap = s(26);
    l.footer_height = std::max(s(92), 40);
    l.dot_size = std::max(s(7), 5);
    l.progress_height = std::max(s(5), 3);
    l.logo_x = l.margin;
    l.logo_y = l.logo_gap + l.title_height;
    l.logo_width = s(230);
    l.logo_height = s(76);
    FitLogo(l);
    l.news_x = w - l.news_width + s(20);
    l.news_y = l.title_height + s(44);
    l.news_content_width = Positive(l.news_width - s(40));
    l.footer_top = std::max(h - l.footer_height, l.title_height + 1);
    l.news_content_height = Positive(l.footer_top - s(16) - l.news_y);
    l.action_width = s(190);
    l.action_height = s(52);
    l.action_x = w - l.margin - l.action_width;
    l.action_y = l.footer_top + (l.footer_height - l.action_height) / 2;
    l.status_x = l.margin;
    l.headline_y = l.footer_top + s(16);
    l.status_width = Positive(l.action_x - l.margin - s(40));
    l.headline_height = s(20);
    l.progress_x = l.margin;
    l.progress_y = l.headline_y + s(24);
    l.progress_width = l.status_width;
    l.detail_y = l.progress_height + l.progress_y + s(7);
    l.detail_height = s(19);
    l.secondary_width = s(152);
    l.secondary_height = s(26);
    l.secondary_x = std::max(w - l.margin - l.secondary_width - l.news_width, l.margin);
    l.secondary_y = l.footer_top - s(24) - l.secondary_height;
    l.prompt_y = l.news_y + s(24);
    l.prompt_height = s(48);
    l.edit_y = l.news_y + s(84);
    l.edit_width = Positive(l.news_content_width - s(96));
    l.edit_height = s(26);
    l.browse_x = l.news_x + l.news_content_width - s(88);
    l.browse_width = s(88);
    l.note_y = l.news_y + s(122);
    l.note_height = s(40);
    l.title_text_y = s(10);
    l.tabs_y = l.title_height + s(20);
    l.title_button_width = std::max(s(46), 24);
    l.settings_button_x = w - 3 * l.title_button_width;
    l.minimise_button_x = w - 2 * l.title_button_width;
    l.close_button_x = w - l.title_button_width;
    l.resize_border = std::max(s(6), 4);
    l.body_font = -std::max(s(15), 9);
    l.button_font = -std::max(s(21), 9);
    l.large_font = -std::max(s(26), 9);
    l.small_bold_font = -std::max(s(12), 9);
    l.small_font = -std::max(s(12), 9);
    return l;
}

ControlBoxes PlaceControls(const Layout& l) {
    ControlBoxes c;
    c.spare_label = {l.status_x, l.headline_y, l.status_width, l.headline_height};
    c.progress = {l.progress_x, l.progress_y, l.progress_width, l.progress_height};
    c.action = {l.action_x, l.action_y, l.action_width, l.action_height};
    c.secondary = {l.secondary_x, l.secondary_y, l.secondary_width, l.secondary_height};
    c.prompt = {l.news_x, l.prompt_y, l.news_content_width, l.prompt_height};
    c.folder_edit = {l.news_x, l.edit_y, l.edit_width, l.edit_height};
    c.browse = {l.browse_x, l.edit_y, l.browse_width, l.edit_height};
    c.note = {l.news_x, l.note_y, l.news_content_width, l.note_height};
    return c;
}

Rgb ColourBehind(const Layout& l, const Box& box) {
    const bool in_footer = box.y >= l.footer_top;
    const bool in_news_column = box.x >= l.width - l.news_width;
    return in_footer || in_news_column ? kPanel : kGround;
}

FontHeights FontHeightsOf(const Layout& l) {
    // Truncating division of a negative height: the title ends up one pixel smaller, not larger.
    const std::int32_t news_title = l.body_font + std::max(l.body_font / 4, 1);
    return {l.body_font, l.button_font, l.large_font, news_title, l.small_bold_font, l.small_font};
}

WindowRect TargetWindowRect(const ScreenRect& work) {
    const std::int32_t work_width = Positive(work.right - work.left);
    const std::int32_t work_height = Positive(work.bottom - work.top);
    WindowRect r{};
    r.width = std::min(std::max(PortableMulDiv(work_width, 707, 1000), kDesignWidth), work_width);
    r.height =
        std::min(std::max(PortableMulDiv(work_height, 707, 1000), kDesignHeight), work_height);
    r.left = work.left + (work_width - r.width) / 2;
    r.top = work.top + (work_height - r.height) / 2;
    r.right = r.left + r.width;
    r.bottom = r.top + r.height;
    return r;
}

void MinimumTrackSize(const ScreenRect& work, std::int32_t& width, std::int32_t& height) {
    width = std::min(kDesignWidth, work.right - work.left);
    height = std::min(kDesignHeight, work.bottom - work.top);
}

Box StageSourceRect(std::int32_t picture_width, std::int32_t picture_height,
                    std::int32_t area_width, std::int32_t area_height) {
    if (picture_width <= 0 || picture_height <= 0 || area_width <= 0 || area_height <= 0) {
        return {};
    }
    std::int32_t width = picture_width;
    std::int32_t height = picture_height;
    // "Cover": the picture's excess in one direction is cut off equally on both sides.
    if (static_cast<std::int64_t>(picture_width) * area_height <=
        static_cast<std::int64_t>(picture_height) * area_width) {
        height = PortableMulDiv(picture_width, area_height, area_width);
    } else {
        width = PortableMulDiv(picture_height, area_width, area_height);
    }
    return {(picture_width - width) / 2, (picture_height - height) / 2, width, height};
}

Box GroundArea(const Layout& l) {
    const std::int32_t width = l.width - l.news_width;
    const std::int32_t height = l.footer_top - l.title_height;
    if (width <= 0 || height <= 0) return {};
    return {0, l.title_height, width, height};
}

std::vector<ShadeBand> StageShadeBands(const Layout& l) {
    std::vector<ShadeBand> bands;
    const Box ground = GroundArea(l);
    if (ground.width <= 0) return bands;
    const std::int32_t top = l.footer_top - ground.height / 2;
    const std::int32_t height = l.footer_top - top;
    for (int i = 1; i <= kShadeBands; ++i) {
        const std::int32_t from = PortableMulDiv(height, i - 1, kShadeBands);
        const std::int32_t to = PortableMulDiv(height, i, kShadeBands);
        if (to <= from) continue;
        const std::int32_t alpha =
            std::clamp(PortableMulDiv(kMaxShadeAlpha, i * i, kShadeBands * kShadeBands), 0, 255);
        bands.push_back(
            {{0, top + from, ground.width, to - from}, static_cast<std::uint8_t>(alpha)});
    }
    return bands;
}

Box StatusRegion(const Layout& l) {
    const std::int32_t right = l.action_x > 0 ? l.action_x : l.width;
    return {0, l.footer_top, right, l.height - l.footer_top};
}

StatusAreaBoxes StatusArea(const Layout& l) {
    StatusAreaBoxes a;
    a.dot = {l.status_x, l.headline_y + Scaled(l, 4), l.dot_size, l.dot_size};
    const std::int32_t text_x = l.status_x + Scaled(l, 9) + l.dot_size;
    const std::int32_t text_y = l.headline_y - 1;
    a.headline = {text_x, text_y, l.status_x + l.status_width - text_x,
                  l.headline_y + l.headline_height - text_y};
    a.progress_track = {l.progress_x, l.progress_y, l.progress_width, l.progress_height};
    a.detail = {l.status_x, l.detail_y, l.status_width, l.detail_height};
    return a;
}

std::int32_t ProgressFillWidth(std::uint64_t bytes_done, std::uint64_t bytes_total,
                               std::int32_t track_width, bool view_is_main) {
    if (track_width <= 0) return 0;
    if (bytes_total == 0) return view_is_main ? track_width : 0;
    const double share = static_cast<double>(bytes_done) / static_cast<double>(bytes_total);
    const double fill = share * track_width;
    return fill >= track_width ? track_width : static_cast<std::int32_t>(fill);
}

Box NewsArea(const Layout& l) {
    return {l.news_x, l.news_y, l.news_content_width, l.news_content_height};
}

NewsGaps NewsGapsOf(const Layout& l) {
    return {std::max(Scaled(l, 4), 1), std::max(Scaled(l, 7), 2), std::max(Scaled(l, 20), 8),
            std::max(Scaled(l, 10), 4)};
}

std::int32_t ClampNewsScroll(std::int32_t offset, std::int32_t content_height,
                             std::int32_t area_height) {
    const std::int64_t most =
        std::max<std::int64_t>(static_cast<std::int64_t>(content_height) - area_height, 0);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(offset, 0, most));
}

NewsScrollbar NewsScrollbarOf(const Layout& l, std::int32_t content_height, std::int32_t offset) {
    NewsScrollbar bar;
    const Box area = NewsArea(l);
    if (content_height <= area.height) return bar;
    bar.visible = true;
    const std::int32_t track_width = std::max(Scaled(l, 3), 2);
    bar.track = {area.right() - track_width, area.y, track_width, area.height};
    const std::int32_t thumb_height =
        std::min(std::max(PortableMulDiv(area.height, area.height, content_height), Scaled(l, 24)),
                 area.height);
    const std::int32_t thumb_top =
        area.y + PortableMulDiv(area.height - thumb_height,
                                ClampNewsScroll(offset, content_height, area.height),
                                content_height - area.height);
    bar.thumb = {bar.track.x, thumb_top, track_width, thumb_height};
    return bar;
}

std::int32_t WheelScrollOffset(const Layout& l, std::int32_t offset, std::int32_t delta) {
    const std::int64_t moved =
        static_cast<std::int64_t>(offset) - PortableMulDiv(delta, 3 * l.body_font, 120);
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(moved, 0, std::numeric_limits<std::int32_t>::max()));
}

std::array<Box, 2> NewsTabBoxes(const Layout& l, std::int32_t first_text_width,
                                std::int32_t second_text_width) {
    const std::int32_t height = Scaled(l, 20);
    const Box first{l.news_x, l.tabs_y, first_text_width, height};
    const Box second{first.right() + Scaled(l, 18), l.tabs_y, second_text_width, height};
    return {first, second};
}

Box TabUnderline(const Layout& l, const Box& tab) {
    return {tab.x, tab.bottom(), tab.width, std::max(PortableMulDiv(2, l.scale, 1000), 1)};
}

int NewsTabAt(const std::array<Box, 2>& tabs, std::int32_t x, std::int32_t y) {
    for (int i = 0; i < 2; ++i) {
        if (tabs[static_cast<std::size_t>(i)].Contains(x, y)) return i;
    }
    return -1;
}

Box TitleButtonBox(const Layout& l, TitleBarItem item) {
    std::int32_t x = 0;
    switch (item) {
        case TitleBarItem::Settings:
            x = l.settings_button_x;
            break;
        case TitleBarItem::Minimise:
            x = l.minimise_button_x;
            break;
        case TitleBarItem::Close:
            x = l.close_button_x;
            break;
        case TitleBarItem::None:
            return {};
    }
    return {x, 0, l.title_button_width, l.title_height};
}

TitleBarItem TitleBarItemAt(const Layout& l, std::int32_t x, std::int32_t y) {
    for (TitleBarItem item :
         {TitleBarItem::Settings, TitleBarItem::Minimise, TitleBarItem::Close}) {
        if (TitleButtonBox(l, item).Contains(x, y)) return item;
    }
    return TitleBarItem::None;
}

HitZone HitTest(const Layout& l, std::int32_t window_width, std::int32_t window_height,
                std::int32_t x, std::int32_t y) {
    const std::int32_t b = l.resize_border;
    const bool left = x < b;
    const bool right = x >= window_width - b;
    if (y < b) return left ? HitZone::TopLeft : right ? HitZone::TopRight : HitZone::Top;
    if (y >= window_height - b) {
        return left ? HitZone::BottomLeft : right ? HitZone::BottomRight : HitZone::Bottom;
    }
    if (left) return HitZone::Left;
    if (right) return HitZone::Right;
    if (y < l.title_height) {
        return TitleBarItemAt(l, x, y) == TitleBarItem::None ? HitZone::Caption : HitZone::Client;
    }
    return HitZone::Client;
}

ButtonLook OwnerButtonLook(bool action_button, bool disabled, bool pressed) {
    if (disabled) return {kHover, kMutedText, !action_button};
    if (action_button) return {pressed ? kAmberPressed : kAmber, kActionText, false};
    return {pressed ? kHover : kPanel, kMutedText, true};
}

std::optional<Rgb> TitleButtonFill(TitleBarItem item, bool hovered, bool settings_open) {
    if (item == TitleBarItem::Settings && settings_open) return kAmber;
    if (!hovered) return std::nullopt;
    return item == TitleBarItem::Close ? kRed : kHover;
}

Rgb TitleGlyphColour(bool hovered) {
    return hovered ? kText : kMutedText;
}

}  // namespace patcher::model
