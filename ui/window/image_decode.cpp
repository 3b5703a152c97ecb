#include "ui/window/image_decode.h"

#include <objidl.h>
#include <ole2.h>

#include <gdiplus.h>

#include <cstring>
#include <memory>

namespace patcher::ui {
namespace {

// The window's ground colour, opaque, as GDI+ wants a background: 0xAARRGGBB.
constexpr Gdiplus::ARGB kGroundArgb = 0xFF14110E;

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};
struct ImageDispose {
    void operator()(Gdiplus::GpBitmap* bitmap) const {
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
};

// A stream over a movable global copy of the bytes; the stream frees the memory on its release.
IStream* StreamOver(std::string_view bytes) {
    if (bytes.empty()) return nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (memory == nullptr) return nullptr;
    void* target = GlobalLock(memory);
    if (target == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    return stream;
}

}  // namespace

GdiplusSession::~GdiplusSession() {
    if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}

bool GdiplusSession::Start() {
    if (token_ != 0) return true;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
    return token_ != 0;
}

bool DecodeImage(std::string_view bytes, DecodedImage& image) {
    image = DecodedImage{};
    std::unique_ptr<IStream, StreamRelease> stream(StreamOver(bytes));
    if (!stream) return false;
    Gdiplus::GpBitmap* raw = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.get(), &raw) != Gdiplus::Ok ||
        raw == nullptr)
        return false;
    std::unique_ptr<Gdiplus::GpBitmap, ImageDispose> bitmap(raw);
    UINT width = 0;
    UINT height = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap.get(), &width);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap.get(), &height);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    HBITMAP converted = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap.get(), &converted, kGroundArgb) !=
            Gdiplus::Ok ||
        converted == nullptr)
        return false;
    image.bitmap.reset(converted);
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    return true;
}

std::string_view ExecutableResource(int id) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0) return {};
    return std::string_view(static_cast<const char*>(data), size);
}

bool LoadBitmapFile(const std::wstring& path, DecodedImage& image) {
    image.bitmap.reset(static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                       LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    BITMAP info{};
    if (!image.bitmap || GetObjectW(image.bitmap.get(), sizeof(info), &info) == 0) return false;
    image.width = info.bmWidth;
    image.height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    return true;
}

}  // namespace patcher::ui
