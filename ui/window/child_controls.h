// The window's child controls: the owner-drawn buttons, the first-install folder field with its
// texts, and the progress holder. Created once, placed where the layout says, shown as the window
// state says; the brushes they are erased with are made on first use and kept until the window
// goes.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <utility>

#include "model/layout.h"
#include "model/window_state.h"
#include "ui/window/fonts.h"
#include "ui/window/gdi.h"

namespace patcher::ui {

enum ControlId : int {
    kActionButton = 1001,
    kPlayAnywayButton = 1002,
    kBrowseButton = 1003,
    kFolderEdit = 1004,
    kSpareLabel = 1006,
    kProgressHolder = 1007,
    kFolderPrompt = 1008,
    kFolderNote = 1009,
};

class ChildControls {
  public:
    void Create(HWND parent, HINSTANCE instance, const std::wstring& folder, const FontSet& fonts);
    HWND Get(int id) const { return GetDlgItem(parent_, id); }
    std::wstring Text(int id) const;

    // The caller lets go of the old set only after this.
    void SetFonts(const FontSet& fonts, bool redraw);
    void Place(const model::Layout& layout);
    void Sync(const model::WindowState& state);
    void SetProgress(int position);

    // WM_DRAWITEM for the owner-drawn buttons.
    void Draw(const DRAWITEMSTRUCT& item, const FontSet& fonts) const;
    // WM_CTLCOLOR*: the text colour and the brush of what lies behind the control.
    HBRUSH Colours(HDC dc, HWND control, const model::Layout& layout);
    void ReleaseBrushes();

  private:
    HWND parent_ = nullptr;
    unique_hbrush panel_brush_;
    unique_hbrush ground_brush_;
};

}  // namespace patcher::ui
