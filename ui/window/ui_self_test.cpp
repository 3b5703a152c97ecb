#include "ui/window/ui_self_test.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "model/download_failure_text.h"
#include "model/ui_self_test_sections.h"
#include "model/window_texts.h"
#include "rules/player_message.h"
#include "rules/wide_text.h"
#include "ui/window/draw.h"
#include "ui/window/fonts.h"
#include "ui/window/gdi.h"
#include "win/platform/unique_handle.h"

namespace patcher::ui {

using namespace model;
using namespace rules;
using namespace win;

namespace {

std::wstring Prefix(bool ok) {
    return ok ? kSelfTestOk : kSelfTestFail;
}

std::wstring Hex(std::uint64_t value) {
    wchar_t text[24];
    std::swprintf(text, 24, L"0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

std::wstring Size(long width, long height) {
    return std::to_wstring(width) + L"x" + std::to_wstring(height);
}

// A top-down 32-bit picture of the client size, selected into a memory context.
class Surface {
  public:
    Surface(std::int32_t width, std::int32_t height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc_.reset(CreateCompatibleDC(nullptr));
        if (dc_)
            bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (bitmap_) {
            pixels_ = static_cast<const std::uint32_t*>(bits);
            selected_ = SelectObject(dc_.get(), bitmap_.get());
        }
    }
    ~Surface() {
        if (selected_ != nullptr) SelectObject(dc_.get(), selected_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    bool ok() const { return pixels_ != nullptr; }
    // A top-down 32-bit BMP file of the picture.
    bool Save(const std::wstring& path) const {
        GdiFlush();
        const DWORD pixel_bytes = static_cast<DWORD>(width_) * static_cast<DWORD>(height_) * 4;
        BITMAPINFOHEADER info{};
        info.biSize = sizeof(info);
        info.biWidth = width_;
        info.biHeight = -height_;
        info.biPlanes = 1;
        info.biBitCount = 32;
        info.biCompression = BI_RGB;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof(file) + sizeof(info);
        file.bfSize = file.bfOffBits + pixel_bytes;
        const unique_hfile out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return out.is_valid() && WriteFile(out.get(), &file, sizeof(file), &written, nullptr) &&
               WriteFile(out.get(), &info, sizeof(info), &written, nullptr) &&
               WriteFile(out.get(), pixels_, pixel_bytes, &written, nullptr) &&
               written == pixel_bytes;
    }
    HDC dc() const { return dc_.get(); }
    void Fill(Rgb colour) {
        const unique_hbrush brush(CreateSolidBrush(ColourRef(colour)));
        const RECT all{0, 0, width_, height_};
        FillRect(dc_.get(), &all, brush.get());
    }
    Rgb At(std::int32_t x, std::int32_t y) const {
        GdiFlush();
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return Rgb{};
        const std::uint32_t pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
        return Rgb{static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
                   static_cast<std::uint8_t>(pixel)};
    }

  private:
    std::int32_t width_;
    std::int32_t height_;
    unique_memory_dc dc_;
    unique_hbitmap bitmap_;
    HGDIOBJ selected_ = nullptr;
    const std::uint32_t* pixels_ = nullptr;
};

struct ViewCase {
    WindowView view;
    ActionButton action;
};

// One painted view: six sampled pixels against what the palette says they must be.
// One view with the sample status, painted over `background` as the window paints itself.
void PaintView(MainWindow& window, Surface& surface, const ViewCase& c, Rgb background,
               bool draw_stage) {
    window.SetView(c.view, c.action);
    window.SetStatus(window.state().dot, kTextGameUpToDate,
                     std::wstring(kTextVersion) + kTextSampleVersion + kTextFilesVerified);
    surface.Fill(background);
    window.PaintInto(surface.dc(), draw_stage);
    window.DrawActionButtonInto(surface.dc());
}

int PaintedView(MainWindow& window, Surface& surface, const ViewCase& c,
                const SelfTestPrinter& print) {
    PaintView(window, surface, c, Rgb{255, 0, 255}, false);
    const Layout& l = window.layout();
    const Box dot = StatusArea(l).dot;
    const Rgb title = surface.At(l.width / 2, l.title_height / 2);
    const Rgb ground = surface.At(l.width / 2, (l.logo_y + l.logo_height + l.footer_top) / 2);
    const Rgb news = surface.At(l.width - 8, (l.title_height + l.footer_top) / 2);
    const Rgb footer = surface.At(l.width / 2, l.footer_top + 4);
    const Rgb dot_got = surface.At(dot.x + dot.width / 2, dot.y + dot.height / 2);
    const Rgb button = surface.At(l.action_x + 8, l.action_y + l.action_height / 2);
    const Rgb dot_expected = ViewDotColour(c.view);
    // Only a waiting button is drawn disabled.
    const Rgb button_expected = c.action == ActionButton::Wait ? kHover : kAmber;
    const bool ok = title == kPanel && ground == kGround && news == kPanel && footer == kPanel &&
                    dot_got == dot_expected && button == button_expected;
    print(Prefix(ok) + WindowViewName(c.view) + L"  title=" + FormatColour(title) + L" ground=" +
          FormatColour(ground) + L" news=" + FormatColour(news) + L" footer=" +
          FormatColour(footer) + L" dot=" + FormatColour(dot_got) + L"/" +
          FormatColour(dot_expected) + L" button=" + FormatColour(button) + L"/" +
          FormatColour(button_expected));
    print(std::wstring(kSelfTestIndent) + L"caption=" + ActionCaption(window.state().action) +
          L"  line1=" + FormatCodePoints(window.state().headline));
    return ok ? 0 : 1;
}

int PrintSection(const SelfTestSection& section, const SelfTestPrinter& print) {
    for (const std::wstring& line : section.lines) print(line);
    return section.failures;
}

template <class Function>
Function UserEntry(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using GetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)();
using SetThreadContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
using AwarenessFn = int(WINAPI*)(DPI_AWARENESS_CONTEXT);
using ContextsEqualFn = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

const DPI_AWARENESS_CONTEXT kPerMonitorV2 = reinterpret_cast<DPI_AWARENESS_CONTEXT>(-4);

void DpiReport(const SelfTestPrinter& print) {
    const HDC screen = GetDC(nullptr);
    print(L"DPI: system=" + std::to_wstring(GetDeviceCaps(screen, LOGPIXELSX)));
    ReleaseDC(nullptr, screen);
    const auto get_context = UserEntry<GetThreadContextFn>("GetThreadDpiAwarenessContext");
    const auto set_context = UserEntry<SetThreadContextFn>("SetThreadDpiAwarenessContext");
    const auto awareness_of = UserEntry<AwarenessFn>("GetAwarenessFromDpiAwarenessContext");
    const auto equal = UserEntry<ContextsEqualFn>("AreDpiAwarenessContextsEqual");
    if (get_context == nullptr || set_context == nullptr || awareness_of == nullptr ||
        equal == nullptr) {
        print(L"DPI: process awareness=unknown (pre-Windows 10 1607 entry points)");
        return;
    }
    const DPI_AWARENESS_CONTEXT current = get_context();
    const wchar_t* names[] = {L"UNAWARE (Windows bitmap-stretches and blurs us)",
                              L"SYSTEM (blurs on a monitor at another scale)",
                              L"PER-MONITOR v1 (sharp, but no WM_DPICHANGED for children)"};
    const int awareness = awareness_of(current);
    const std::wstring name =
        equal(current, kPerMonitorV2)
            ? L"PER-MONITOR-V2 (sharp on every monitor)"
            : (awareness >= 0 && awareness <= 2 ? names[awareness] : L"other");
    print(L"DPI: process awareness=" + name);
    const DPI_AWARENESS_CONTEXT previous = set_context(kPerMonitorV2);
    if (previous != nullptr) set_context(previous);
    print(previous != nullptr ? L"DPI: a V2 context IS available on this desktop"
                              : L"DPI: this desktop refuses a V2 context");
}

// The system frame the window's style would get at 96 DPI.
SIZE SystemFrame(DWORD style, DWORD ex_style) {
    RECT rect{0, 0, 100, 100};
    if (const auto adjust = UserEntry<AdjustForDpiFn>("AdjustWindowRectExForDpi")) {
        adjust(&rect, style, FALSE, ex_style, 96);
    } else {
        AdjustWindowRect(&rect, style, FALSE);
    }
    return SIZE{rect.right - rect.left - 100, rect.bottom - rect.top - 100};
}

int Chrome(HWND window, const SelfTestPrinter& print) {
    if (window == nullptr) {
        print(L"CHROME: NO_WINDOW");
        return 1;
    }
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    print(L"CHROME  style=" + Hex(style) + L" exstyle=" + Hex(ex_style));
    std::vector<const wchar_t*> failures;
    const std::pair<bool, const wchar_t*> rules[] = {
        {(style & WS_CAPTION) == WS_CAPTION,
         L"WS_CAPTION still set (system title bar would be drawn)"},
        {(style & WS_SYSMENU) != 0, L"WS_SYSMENU still set (system window buttons would be drawn)"},
        {(style & WS_DLGFRAME) != 0, L"WS_DLGFRAME still set"},
        {(style & WS_BORDER) != 0, L"WS_BORDER still set"},
        {(style & WS_MAXIMIZEBOX) != 0,
         L"WS_MAXIMIZEBOX set (would cover the taskbar with no frame)"},
        {(style & WS_THICKFRAME) == 0, L"WS_THICKFRAME missing (the window could not be resized)"},
        {(style & WS_POPUP) == 0, L"WS_POPUP missing"},
    };
    for (const auto& [violated, text] : rules)
        if (violated) failures.push_back(text);
    RECT outer{};
    RECT client{};
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) {
        print(L"CHROME: RECT_FAILED");
        failures.push_back(nullptr);
    } else {
        const long width = outer.right - outer.left;
        const long height = outer.bottom - outer.top;
        RECT adjusted = client;
        AdjustWindowRectEx(&adjusted, style, FALSE, ex_style);
        print(L"CHROME  window=" + Size(width, height) + L"  client=" +
              Size(client.right, client.bottom) + L"  measured non-client=" +
              Size(width - client.right, height - client.bottom) +
              L"  AdjustWindowRectEx would add=" +
              Size(adjusted.right - adjusted.left - client.right,
                   adjusted.bottom - adjusted.top - client.bottom));
        if (width != client.right)
            failures.push_back(L"non-client width left over (a system frame is still drawn)");
        if (height != client.bottom)
            failures.push_back(L"non-client height left over (a system caption is still drawn)");
    }
    for (const wchar_t* failure : failures)
        if (failure != nullptr) print(std::wstring(kSelfTestSubFail) + failure);
    print(failures.empty() ? L"CHROME: OK" : L"CHROME: FAILED");
    return static_cast<int>(failures.size());
}

Rgb BrushColour(LRESULT answer) {
    LOGBRUSH brush{};
    if (answer == 0 || GetObjectW(reinterpret_cast<HBRUSH>(answer), sizeof(brush), &brush) == 0)
        return Rgb{255, 0, 255};
    return Rgb{GetRValue(brush.lbColor), GetGValue(brush.lbColor), GetBValue(brush.lbColor)};
}

// What the child controls put behind themselves: the first-install prompt as it paints itself
// (a corner of its box, where no text is), and the brush the action button erases with after its
// enabled state changed, before its own drawing. Either in button-face grey is a grey box or a
// flash the player sees.
int ControlBackgrounds(MainWindow& window, Surface& surface, const SelfTestPrinter& print) {
    window.SetView(WindowView::FirstInstall, ActionButton::Install);
    const HWND prompt = window.FolderPromptControl();
    RECT box{};
    GetClientRect(prompt, &box);
    surface.Fill(Rgb{255, 0, 255});
    SendMessageW(prompt, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    const Rgb label = surface.At(box.right - 2, box.bottom - 2);

    const HWND action = window.ActionControl();
    EnableWindow(action, FALSE);
    EnableWindow(action, TRUE);
    const HDC dc = GetDC(action);
    const Rgb button =
        BrushColour(SendMessageW(window.hwnd(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(action)));
    ReleaseDC(action, dc);
    const bool ok = label == kPanel && button == kPanel;
    print(Prefix(ok) + L"CONTROL_BACKGROUND: label=" + FormatColour(label) + L" button=" +
          FormatColour(button) + L" expected=" + FormatColour(kPanel));
    return ok ? 0 : 1;
}

// Minimised, the window gets a 0 x 0 client size; laying out (and making every font) for it would
// be wasted, and undone on restore.
int MinimisedKeepsLayout(MainWindow& window, const SelfTestPrinter& print) {
    const Layout before = window.layout();
    ShowWindow(window.hwnd(), SW_SHOWMINNOACTIVE);
    const Layout minimised = window.layout();
    ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
    ShowWindow(window.hwnd(), SW_HIDE);
    const bool ok = minimised.width == before.width && minimised.body_font == before.body_font &&
                    window.layout().width == before.width;
    print(Prefix(ok) + L"MINIMISED_LAYOUT: " + Size(minimised.width, minimised.height) +
          L" while minimised, " + Size(before.width, before.height) + L" before");
    return ok ? 0 : 1;
}

// Every headline the window can show, with long but real values where it composes one.
std::vector<std::wstring> Headlines() {
    std::vector<std::wstring> texts = {
        kTextNotWritable,
        kTextChecking,
        kTextRepairingFiles,
        WidenUtf8(UnreachablePlayerMessage()),
        kTextGameNotInRelease,
        kTextRepairingFile + std::wstring(L"bin/x64/Velmor2.exe"),
        kTextMissingFile + std::wstring(L"bin/x64/Velmor2.exe"),
        kTextPatcherStuck,
        kTextServerUnreachable,
        kTextGameUpToDate,
        kTextUpdateDownloading,
        kTextFirstInstallLead + std::wstring(L"12,4 GB") + kTextFirstInstallTail,
        kTextDamagedLead + std::wstring(L"12,4 GB") + kTextDamagedTail,
        kTextUpdateLead + std::wstring(L"850,5 MB"),
        kTextDoesNotStay,
        kTextNoSpaceLead + std::wstring(L"12,4 GB") + kTextNoSpaceTail,
        kTextPausedLead + std::wstring(L"12,4 GB") + kTextPausedTail,
        kTextDownloading,
        kTextPatcherNotRenewed,
        kTextPatcherRenewInterrupted,
        kTextStartingGame,
        kTextGameDidNotStart,
        kTextChooseFolder,
        kTextDriveUnreadable,
        kTextDriveTooFullLead + std::wstring(L"120,0 MB") + kTextDriveTooFullTail,
        kTextFolderNotMade,
        kTextReady,
    };
    for (int code = 0; code <= static_cast<int>(StatusCode::ContentMismatch); ++code)
        texts.push_back(WidenUtf8(PlayerMessage(static_cast<StatusCode>(code))));
    for (int kind = 0; kind <= static_cast<int>(DownloadFailure::Local); ++kind)
        texts.push_back(DownloadFailureHeadline(static_cast<DownloadFailure>(kind)));
    return texts;
}

std::vector<std::wstring> Details() {
    const std::wstring folder = L"C:\\Users\\Şükrü Yılmaz\\Documents\\Oyunlar\\Velmor2";
    return {
        kTextMoveThePatcher,
        kTextRepairKeepsSaves,
        kTextSyncedFolder,
        kTextFilesRevert,
        kTextVersion + std::wstring(L"1.14.203") + kTextFilesVerified,
        kTextVersion + std::wstring(L"1.14.203") + kTextContinuingOffline,
        L"Velmor2.exe" + std::wstring(kTextNotHere) + L"bin/x64/Velmor2.exe" + kTextIsThereAs,
        L"Velmor2.exe" + std::wstring(kTextDot) + folder + L"\\patcher.log",
        kTextNeeded + std::wstring(L"12,4 GB") + kTextFree + L"3,1 GB",
        L"1148 / 12000" + std::wstring(kTextFiles) + L" (%37)" + kTextDot +
            L"data/maps/kuzey_ormani/arazi_dokulari_yuksek.pak" + kTextDot + L"4,6 GB / 12,4 GB",
        L"1148 / 12000" + std::wstring(kTextFiles) + L" (%37)" + kTextDot +
            L"data/maps/kuzey_ormani/arazi_dokulari_yuksek.pak" + kTextDot + L"4,6 GB / 12,4 GB" +
            kTextDot + L"12,5 MB/s" + kTextDot + L"yaklaşık 1 sa 20 dk kaldı",
        kTextPausedDetail,
        DownloadFailureDetail({DownloadFailure::Transfer,
                               "data/maps/kuzey_ormani/arazi_dokulari_yuksek.pak",
                               HttpError::HttpStatus, 503}),
    };
}

// Every status text at the smallest window and at 100, 150 and 200 % of the design size, drawn
// as the painter draws it: one that does not fit must end with "…" and then fit.
int TextFit(Surface& surface, const SelfTestPrinter& print) {
    const ClientSize sizes[] = {{640, 400}, {900, 560}, {1350, 840}, {1800, 1120}};
    std::vector<FittedText> fitted;
    for (const ClientSize& size : sizes) {
        const Layout l = ComputeLayout(size.width, size.height);
        const FontSet fonts = MakeFonts(FontHeightsOf(l), l.body_font);
        const StatusAreaBoxes boxes = StatusArea(l);
        const std::wstring at = std::to_wstring(size.width) + L"x" + std::to_wstring(size.height);
        const auto measure = [&](const std::vector<std::wstring>& texts, const Box& box, HFONT font,
                                 const wchar_t* where) {
            for (const std::wstring& text : texts) {
                const std::wstring shown = ShownText(surface.dc(), text, ToRect(box), font);
                fitted.push_back({at + L" " + where, text, shown,
                                  TextWidth(surface.dc(), shown.c_str(), font), box.width});
            }
        };
        measure(Headlines(), boxes.headline, fonts.body.get(), L"headline");
        measure(Details(), boxes.detail, fonts.small.get(), L"detail");
    }
    return PrintSection(TextFitSection(fitted), print);
}

// Every view at the design size and at twice it, as the painter draws it (the child controls but
// the action button are not in the picture).
void SaveViews(MainWindow& window, const ViewCase* views, std::size_t count,
               const std::wstring& folder, const SelfTestPrinter& print) {
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    for (const ClientSize size : {ClientSize{900, 560}, ClientSize{1800, 1120}}) {
        window.LayOutAs(size.width, size.height);
        const Layout& l = window.layout();
        Surface surface(l.width, l.height);
        for (std::size_t i = 0; i < count && surface.ok(); ++i) {
            PaintView(window, surface, views[i], kGround, true);
            const std::wstring name = std::wstring(WindowViewName(views[i].view)) + L"-" +
                                      Size(l.width, l.height) + L".bmp";
            if (!surface.Save(folder + L"\\" + name)) print(L"SCREENSHOT_FAILED: " + name);
        }
    }
    window.LayOutAs(client.right, client.bottom);
}

}  // namespace

int RunUiSelfTest(MainWindow& window, const std::wstring& base_url, const std::wstring& key_service,
                  const SelfTestPrinter& print, const std::wstring& screenshots) {
    const Layout& l = window.layout();
    Surface surface(l.width, l.height);
    if (!surface.ok()) {
        print(L"UI_SELFTEST: SURFACE_FAILED");
        return 1;
    }
    int failures = 0;
    const ViewCase views[] = {
        {WindowView::FirstInstall, ActionButton::Install},
        {WindowView::Main, ActionButton::Play},
        {WindowView::Downloading, ActionButton::Wait},   // a download that cannot pause
        {WindowView::Downloading, ActionButton::Pause},  // the screenshot's, as drawn last
        {WindowView::Repair, ActionButton::Repair},
        {WindowView::ConnectionError, ActionButton::Retry},
        {WindowView::Blocked, ActionButton::Retry},
    };
    for (const ViewCase& c : views) failures += PaintedView(window, surface, c, print);
    if (!screenshots.empty()) SaveViews(window, views, std::size(views), screenshots, print);

    PrintSection(IdentitySection(base_url, key_service), print);
    failures += PrintSection(SyncedFolderHintSection(), print) > 0 ? 1 : 0;
    const PictureRef stage = window.stage();
    if (stage.usable()) {
        print(Prefix(true) + L"STAGE_ART: " + Size(stage.width, stage.height));
    } else {
        print(Prefix(false) + L"STAGE_ART: " + kTextNotDecoded);
        ++failures;
    }
    failures += PrintSection(ArrowCodePointSection(kArrowLeft, kArrowRight), print) > 0 ? 1 : 0;
    print(L"PAINTED_AT: " + Size(l.width, l.height) + L" (1920x1080 desktop, 48 px taskbar)");
    DpiReport(print);
    failures += Chrome(window.hwnd(), print);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window.hwnd(), GWL_STYLE));
    const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(window.hwnd(), GWL_EXSTYLE));
    const SIZE frame = SystemFrame(style, ex_style);
    failures += PrintSection(GeometrySection(frame.cx, frame.cy), print);
    failures += PrintSection(ActionStateSection(), print);
    failures += PrintSection(StatusRegionSection(), print);
    failures += PrintSection(SettingsHitSection(), print);
    failures += TextFit(surface, print);
    failures += ControlBackgrounds(window, surface, print);
    failures += MinimisedKeepsLayout(window, print);
    print(failures == 0 ? L"UI_SELFTEST: OK" : L"UI_SELFTEST: FAILED");
    return failures == 0 ? 0 : 1;
}

}  // namespace patcher::ui
