#include "ui/window/paint.h"

#include <algorithm>

#include "model/colours.h"
#include "model/window_texts.h"
#include "rules/wide_text.h"
#include "ui/window/draw.h"
#include "ui/window/gdi.h"

namespace patcher::ui {

using namespace model;
using namespace rules;

namespace {

int MeasureHeight(HDC dc, const std::wstring& text, std::int32_t x, std::int32_t width,
                  std::int32_t bottom_gap, HFONT font, UINT flags) {
    const unique_select_object selected(dc, font);
    RECT rect{x, 0, x + width, bottom_gap};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              flags | DT_NOPREFIX | DT_CALCRECT);
    return rect.bottom - rect.top;
}

void StretchPicture(HDC dc, const PictureRef& picture, const Box& target, const Box& source) {
    const unique_memory_dc memory(CreateCompatibleDC(dc));
    if (!memory) return;
    const unique_select_object selected(memory.get(), picture.bitmap);
    const int old_mode = SetStretchBltMode(dc, HALFTONE);
    POINT old_origin{};
    SetBrushOrgEx(dc, 0, 0, &old_origin);
    StretchBlt(dc, target.x, target.y, target.width, target.height, memory.get(), source.x,
               source.y, source.width, source.height, SRCCOPY);
    SetBrushOrgEx(dc, old_origin.x, old_origin.y, nullptr);
    SetStretchBltMode(dc, old_mode);
}

// Black, blended band by band over the lower half, so the status texts stay readable on any art.
void DarkenLowerHalf(HDC dc, const Layout& layout) {
    const unique_memory_dc black(CreateCompatibleDC(dc));
    const unique_hbitmap pixel(CreateCompatibleBitmap(dc, 1, 1));
    if (!black || !pixel) return;
    const unique_select_object selected(black.get(), pixel.get());
    PatBlt(black.get(), 0, 0, 1, 1, BLACKNESS);
    for (const ShadeBand& band : StageShadeBands(layout)) {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, band.alpha, 0};
        AlphaBlend(dc, band.box.x, band.box.y, band.box.width, band.box.height, black.get(), 0, 0,
                   1, 1, blend);
    }
}

void PaintStage(HDC dc, const Layout& layout, const PictureRef& stage) {
    const Box ground = GroundArea(layout);
    if (!stage.usable() || ground.width <= 0 || ground.height <= 0) return;
    StretchPicture(dc, stage, ground,
                   StageSourceRect(stage.width, stage.height, ground.width, ground.height));
    DarkenLowerHalf(dc, layout);
}

void PaintTitleBar(HDC dc, const PaintScene& scene) {
    const Layout& l = *scene.layout;
    Text(dc, kTextTitle, RECT{l.margin, l.title_text_y, l.width, l.title_height},
         scene.fonts->small_bold.get(), kMutedText, DT_SINGLELINE);
    const std::pair<TitleBarItem, const wchar_t*> buttons[] = {
        {TitleBarItem::Settings, kGlyphSettings},
        {TitleBarItem::Minimise, kGlyphMinimise},
        {TitleBarItem::Close, kGlyphClose},
    };
    for (const auto& [item, glyph] : buttons) {
        const Box box = TitleButtonBox(l, item);
        const bool hovered = scene.hover == item;
        if (const auto fill = TitleButtonFill(item, hovered, scene.settings != nullptr))
            Fill(dc, box, *fill);
        Text(dc, glyph, ToRect(box), scene.fonts->small_bold.get(), TitleGlyphColour(hovered),
             DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
}

std::array<Box, 2> PaintTabs(HDC dc, const PaintScene& scene) {
    const Layout& l = *scene.layout;
    const std::array<Box, 2> tabs = MeasureNewsTabs(dc, l, *scene.fonts);
    const wchar_t* names[] = {kTextAnnouncementsTab, kTextUpdatesTab};
    for (int i = 0; i < 2; ++i) {
        const bool current = scene.news_tab == i;
        Text(dc, names[i], ToRect(tabs[i]), scene.fonts->small_bold.get(),
             current ? kAmber : kMutedText, DT_SINGLELINE);
        if (current) Fill(dc, TabUnderline(l, tabs[i]), kAmber);
    }
    return tabs;
}

// One item of the news list at `y`; answers the y below it.
std::int32_t PaintNewsItem(HDC dc, const PaintScene& scene, const Box& area, const NewsItem& item,
                           std::int32_t y) {
    const FontSet& f = *scene.fonts;
    const NewsGaps gaps = NewsGapsOf(*scene.layout);
    const auto block = [&](const std::string& utf8, HFONT font, Rgb colour, UINT flags,
                           std::int32_t far_below, std::int32_t gap) {
        if (utf8.empty()) return;
        const std::wstring text = WidenUtf8(utf8);
        const int height = MeasureHeight(dc, text, area.x, area.width, far_below, font, flags);
        Text(dc, text, RECT{area.x, y, area.right(), y + height}, font, colour, flags);
        y += height + gap;
    };
    block(item.title, f.news_title.get(), kAmber, DT_WORDBREAK, 1000, gaps.title);
    block(item.date, f.small_bold.get(), kMutedText, DT_SINGLELINE, 1000, gaps.date);
    block(item.body, f.body.get(), kText, DT_WORDBREAK, 4000, 0);
    return y;
}

void PaintNewsList(HDC dc, const PaintScene& scene, NewsScroll& scroll, PaintResult& result) {
    const Layout& l = *scene.layout;
    const Box area = NewsArea(l);
    if (area.width <= 0 || area.height <= 0) return;
    const NewsGaps gaps = NewsGapsOf(l);
    if (scene.news.items.empty()) {
        Text(dc, scene.news_tab == 0 ? kTextNoAnnouncements : kTextNoChangeNotes, ToRect(area),
             scene.fonts->body.get(), kMutedText, DT_WORDBREAK);
        scroll = NewsScroll{};
        return;
    }
    scroll.offset = ClampNewsScroll(scroll.offset, scroll.content_height, area.height);
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, area.x, area.y, area.right(), area.bottom());
    std::int32_t y = area.y - scroll.offset;
    bool first = true;
    for (const NewsItem& item : scene.news.items) {
        if (!first) {
            y += gaps.separator_pad;
            if (y > area.y && y < area.bottom()) Fill(dc, Box{area.x, y, area.width, 1}, kLine);
        }
        first = false;
        y += gaps.item;
        y = PaintNewsItem(dc, scene, area, item, y);
    }
    if (scene.news.truncated) {
        const std::int32_t top = y + gaps.item;
        Text(dc, kTextListTruncated, RECT{area.x, top, area.right(), top + 1000},
             scene.fonts->small_bold.get(), kMutedText, DT_WORDBREAK);
        y += gaps.item + Scaled(l, 16) + gaps.item;
    }
    scroll.content_height = y - area.y + scroll.offset;
    RestoreDC(dc, saved);

    const std::int32_t clamped = ClampNewsScroll(scroll.offset, scroll.content_height, area.height);
    if (clamped != scroll.offset) {
        scroll.offset = clamped;
        result.repaint = true;
        return;
    }
    const NewsScrollbar bar = NewsScrollbarOf(l, scroll.content_height, scroll.offset);
    if (!bar.visible) return;
    Fill(dc, bar.track, kLine);
    Fill(dc, bar.thumb, kMutedText);
}

void PaintStatus(HDC dc, const PaintScene& scene) {
    const Layout& l = *scene.layout;
    const WindowState& state = *scene.state;
    const StatusAreaBoxes boxes = StatusArea(l);
    {
        const unique_hbrush brush(CreateSolidBrush(ColourRef(state.dot)));
        const unique_hpen pen(CreatePen(PS_SOLID, 1, ColourRef(state.dot)));
        const unique_select_object with_brush(dc, brush.get());
        const unique_select_object with_pen(dc, pen.get());
        Ellipse(dc, boxes.dot.x, boxes.dot.y, boxes.dot.right(), boxes.dot.bottom());
    }
    Text(dc, state.headline.empty() ? std::wstring(kTextReady) : state.headline,
         ToRect(boxes.headline), scene.fonts->body.get(), kText, DT_SINGLELINE);
    Fill(dc, boxes.progress_track, kHover);
    const std::int32_t fill =
        ProgressFillWidth(scene.progress.bytes_done, scene.progress.bytes_total,
                          boxes.progress_track.width, state.view == WindowView::Main);
    if (fill > 0) {
        Box filled = boxes.progress_track;
        filled.width = fill;
        Fill(dc, filled, state.dot == kDotRed ? kRed : kAmber);
    }
    if (!state.detail.empty())
        Text(dc, state.detail, ToRect(boxes.detail), scene.fonts->small.get(), kMutedText,
             DT_SINGLELINE);
}

void PaintLogo(HDC dc, const PaintScene& scene) {
    const Layout& l = *scene.layout;
    const Box box{l.logo_x, l.logo_y, l.logo_width, l.logo_height};
    if (scene.logo.usable()) {
        StretchPicture(dc, scene.logo, box, Box{0, 0, scene.logo.width, scene.logo.height});
    } else if (!scene.stage.usable()) {
        Text(dc, kTextProductName, ToRect(box), scene.fonts->large.get(), kText,
             DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    }
}

}  // namespace

std::array<Box, 2> MeasureNewsTabs(HDC dc, const Layout& layout, const FontSet& fonts) {
    return NewsTabBoxes(layout, TextWidth(dc, kTextAnnouncementsTab, fonts.small_bold.get()),
                        TextWidth(dc, kTextUpdatesTab, fonts.small_bold.get()));
}

PaintResult PaintAll(HDC dc, const PaintScene& scene, NewsScroll& scroll) {
    const Layout& l = *scene.layout;
    const std::int32_t news_left = l.width - l.news_width;
    PaintResult result;
    SetBkMode(dc, TRANSPARENT);
    Fill(dc, Box{0, 0, l.width, l.height}, kGround);
    Fill(dc, Box{0, 0, l.width, l.title_height}, kPanel);
    Fill(dc, Box{0, l.footer_top, l.width, l.height - l.footer_top}, kPanel);
    Fill(dc, Box{news_left, l.title_height, l.news_width, l.footer_top - l.title_height}, kPanel);
    Fill(dc, Box{0, l.title_height, l.width, 1}, kLine);
    Fill(dc, Box{0, l.footer_top, l.width, 1}, kLine);
    if (scene.draw_stage) PaintStage(dc, l, scene.stage);
    Fill(dc, Box{news_left, l.title_height, 1, l.footer_top - l.title_height}, kLine);
    PaintTitleBar(dc, scene);
    if (scene.settings == nullptr) {
        result.tabs = PaintTabs(dc, scene);
        PaintNewsList(dc, scene, scroll, result);
    } else {
        PaintSettingsPanel(dc, scene);
    }
    PaintStatus(dc, scene);
    PaintLogo(dc, scene);
    return result;
}

void DrawOwnerButton(HDC dc, const RECT& rect, const std::wstring& caption, bool action_button,
                     bool disabled, bool pressed, HFONT font) {
    const ButtonLook look = OwnerButtonLook(action_button, disabled, pressed);
    Fill(dc, Box{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}, look.fill);
    if (look.border) Frame(dc, rect, kLine);
    SetBkMode(dc, TRANSPARENT);
    Text(dc, caption, rect, font, look.caption, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
}

}  // namespace patcher::ui
