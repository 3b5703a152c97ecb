// GDI+ for the stage art: one started session per window, and the decoder that turns JPEG (or any
// format GDI+ reads) bytes into a bitmap the painter can stretch.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/window/gdi.h"

namespace patcher::ui {

// Owns the GDI+ startup token; token() is zero when GDI+ did not start.
class GdiplusSession {
  public:
    GdiplusSession() = default;
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession();

    bool Start();
    bool running() const { return token_ != 0; }

  private:
    ULONG_PTR token_ = 0;
};

struct DecodedImage {
    unique_hbitmap bitmap;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Needs a running GdiplusSession. Transparent pixels come out in the window's ground colour.
// False (and no bitmap) for anything that does not decode to a picture of at least 1 x 1.
bool DecodeImage(std::string_view bytes, DecodedImage& image);

// Resource `id` of type RCDATA in the running executable; empty when it is missing.
std::string_view ExecutableResource(int id);

// A .bmp file as it is; false (and no bitmap) when it is missing or not a bitmap.
bool LoadBitmapFile(const std::wstring& path, DecodedImage& image);

}  // namespace patcher::ui
