#include "core/utf8.h"

namespace patcher {

std::size_t DecodeUtf8(std::string_view bytes, std::uint32_t& code_point) {
    if (bytes.empty()) return 0;
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code_point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code_point = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code_point = lead & 0x07u;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) return 0;
        code_point = (code_point << 6) | (next & 0x3Fu);
    }
    if (code_point < minimum || code_point > 0x10FFFF) return 0;
    if (code_point >= 0xD800 && code_point <= 0xDFFF) return 0;
    return length;
}

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        std::uint32_t code_point = 0;
        const std::size_t length = DecodeUtf8(bytes, code_point);
        if (length == 0) return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    while (!utf8.empty()) {
        std::uint32_t code_point = 0;
        const std::size_t length = DecodeUtf8(utf8, code_point);
        units += code_point >= 0x10000 ? 2 : 1;
        utf8.remove_prefix(length == 0 ? 1 : length);
    }
    return units;
}

}  // namespace patcher
