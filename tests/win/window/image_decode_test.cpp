#include "ui/window/image_decode.h"

#include <gtest/gtest.h>

#include <string>

namespace patcher::ui {
namespace {

// A 24-bit bottom-up BMP of `width` x `height` grey pixels, rows padded to four bytes.
std::string Bmp(std::int32_t width, std::int32_t height) {
    const std::int32_t row = (width * 3 + 3) / 4 * 4;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(row * height);
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    bytes.append(static_cast<std::size_t>(row * height), '\x80');
    return bytes;
}

TEST(ImageDecodeTest, DecodesPicturesAndRefusesEverythingElse) {
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Start());
    const std::string picture = Bmp(3, 2);
    struct Case {
        const char* name;
        std::string bytes;
        bool decodes;
    } cases[] = {
        {"picture", picture, true},
        {"empty", "", false},
        {"not a picture", std::string(64, 'x'), false},
        {"cut short", picture.substr(0, 20), false},
        {"no pixels", Bmp(0, 0), false},
    };
    for (const Case& c : cases) {
        DecodedImage image;
        EXPECT_EQ(DecodeImage(c.bytes, image), c.decodes) << c.name;
        EXPECT_EQ(static_cast<bool>(image.bitmap), c.decodes) << c.name;
        if (c.decodes) {
            EXPECT_EQ(std::make_pair(image.width, image.height), std::make_pair(3, 2));
        }
    }
}

}  // namespace
}  // namespace patcher::ui
