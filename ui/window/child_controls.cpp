#include "ui/window/child_controls.h"

#include <commctrl.h>

#include "model/window_texts.h"
#include "ui/window/paint.h"

namespace patcher::ui {

using namespace model;

namespace {

// Each child control's id with the box the layout gives it.
std::array<std::pair<int, Box>, 8> PlacedControls(const Layout& layout) {
    const ControlBoxes boxes = PlaceControls(layout);
    return {{
        {kSpareLabel, boxes.spare_label},
        {kProgressHolder, boxes.progress},
        {kActionButton, boxes.action},
        {kPlayAnywayButton, boxes.secondary},
        {kFolderPrompt, boxes.prompt},
        {kFolderEdit, boxes.folder_edit},
        {kBrowseButton, boxes.browse},
        {kFolderNote, boxes.note},
    }};
}

std::wstring WindowText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

void ChildControls::Create(HWND parent, HINSTANCE instance, const std::wstring& folder,
                           const FontSet& fonts) {
    struct Spec {
        int id;
        DWORD ex_style;
        const wchar_t* window_class;
        DWORD style;
        const wchar_t* text;
    };
    parent_ = parent;
    const Spec specs[] = {
        {kActionButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kCaptionPlay},
        {kPlayAnywayButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kTextPlayAnyway},
        {kBrowseButton, 0, L"BUTTON", BS_OWNERDRAW | WS_TABSTOP, kTextBrowse},
        {kFolderEdit, WS_EX_CLIENTEDGE, L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, folder.c_str()},
        {kSpareLabel, 0, L"STATIC", 0, L""},
        {kProgressHolder, 0, PROGRESS_CLASSW, PBS_SMOOTH, L""},
        {kFolderPrompt, 0, L"STATIC", 0, kTextFolderPrompt},
        {kFolderNote, 0, L"STATIC", 0, L""},
    };
    for (const Spec& spec : specs) {
        CreateWindowExW(spec.ex_style, spec.window_class, spec.text, WS_CHILD | spec.style, 0, 0, 1,
                        1, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance,
                        nullptr);
    }
    SetFonts(fonts, false);
    SendMessageW(Get(kProgressHolder), PBM_SETRANGE32, 0, 100);
}

std::wstring ChildControls::Text(int id) const {
    return WindowText(Get(id));
}

void ChildControls::SetFonts(const FontSet& fonts, bool redraw) {
    for (int id : {kActionButton, kPlayAnywayButton, kBrowseButton, kFolderEdit, kSpareLabel,
                   kFolderPrompt, kFolderNote}) {
        const HWND control = Get(id);
        if (control == nullptr) continue;
        const HFONT font = id == kActionButton ? fonts.button.get() : fonts.body.get();
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
    }
}

void ChildControls::Place(const Layout& layout) {
    for (const auto& [id, box] : PlacedControls(layout)) {
        if (const HWND control = Get(id))
            MoveWindow(control, box.x, box.y, box.width, box.height, TRUE);
    }
}

void ChildControls::Sync(const WindowState& state) {
    const ControlVisibility visible = VisibleControls(state);
    for (int id : {kFolderPrompt, kFolderEdit, kBrowseButton, kFolderNote})
        ShowWindow(Get(id), visible.first_install ? SW_SHOWNA : SW_HIDE);
    ShowWindow(Get(kPlayAnywayButton), visible.play_anyway ? SW_SHOWNA : SW_HIDE);
    ShowWindow(Get(kSpareLabel), SW_HIDE);
    ShowWindow(Get(kProgressHolder), SW_HIDE);
    const HWND action = Get(kActionButton);
    ShowWindow(action, SW_SHOWNA);
    const wchar_t* caption = ActionCaption(state.action);
    if (WindowText(action) != caption) {
        SetWindowTextW(action, caption);
        InvalidateRect(action, nullptr, FALSE);
    }
    EnableWindow(action, state.action_enabled ? TRUE : FALSE);
}

void ChildControls::SetProgress(int position) {
    SendMessageW(Get(kProgressHolder), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ChildControls::Draw(const DRAWITEMSTRUCT& item, const FontSet& fonts) const {
    const bool action = item.CtlID == kActionButton;
    DrawOwnerButton(item.hDC, item.rcItem, WindowText(item.hwndItem), action,
                    (item.itemState & ODS_DISABLED) != 0, (item.itemState & ODS_SELECTED) != 0,
                    action ? fonts.button.get() : fonts.body.get());
}

HBRUSH ChildControls::Colours(HDC dc, HWND control, const Layout& layout) {
    // The layout placed every control: its box there says what lies behind it.
    const int id = GetDlgCtrlID(control);
    Box box{};
    for (const auto& [placed_id, placed_box] : PlacedControls(layout))
        if (placed_id == id) box = placed_box;
    const Rgb behind = ColourBehind(layout, box);
    unique_hbrush& brush = behind == kPanel ? panel_brush_ : ground_brush_;
    if (!brush) brush.reset(CreateSolidBrush(ColourRef(behind)));
    SetTextColor(dc, ColourRef(kText));
    SetBkColor(dc, ColourRef(behind));
    // The edit field redraws its text in place as it scrolls: it needs an opaque background.
    if (id != kFolderEdit) SetBkMode(dc, TRANSPARENT);
    return brush.get();
}

void ChildControls::ReleaseBrushes() {
    panel_brush_.reset();
    ground_brush_.reset();
}

}  // namespace patcher::ui
