// One owner per GDI resource, on the same move-only template as the kernel handles: objects made by
// Create* (deleted with DeleteObject), memory device contexts (DeleteDC), and a selection into a
// device context that puts the previous object back when it ends, so nothing is deleted while
// still selected.
#pragma once

#include <windows.h>

#include <utility>

#include "model/colours.h"
#include "win/platform/unique_handle.h"

namespace patcher::ui {

namespace handle_traits {

template <class Handle>
struct GdiObject {
    using pointer = Handle;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};
struct MemoryDc {
    using pointer = HDC;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteDC(h); }
};

}  // namespace handle_traits

using unique_hfont = win::unique_any<handle_traits::GdiObject<HFONT>>;
using unique_hbrush = win::unique_any<handle_traits::GdiObject<HBRUSH>>;
using unique_hpen = win::unique_any<handle_traits::GdiObject<HPEN>>;
using unique_hbitmap = win::unique_any<handle_traits::GdiObject<HBITMAP>>;
using unique_hrgn = win::unique_any<handle_traits::GdiObject<HRGN>>;
using unique_memory_dc = win::unique_any<handle_traits::MemoryDc>;

// SelectObject for one scope. Move-only; an object that failed to select restores nothing.
class unique_select_object {
  public:
    unique_select_object(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
    unique_select_object(const unique_select_object&) = delete;
    unique_select_object& operator=(const unique_select_object&) = delete;
    unique_select_object(unique_select_object&& other) noexcept
        : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)) {}
    unique_select_object& operator=(unique_select_object&&) = delete;
    ~unique_select_object() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

inline COLORREF ColourRef(model::Rgb colour) {
    return RGB(colour.r, colour.g, colour.b);
}

}  // namespace patcher::ui
