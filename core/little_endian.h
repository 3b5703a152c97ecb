// Little-endian fields of the binary files the publisher writes beside its objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace patcher {

inline std::uint64_t ReadLe(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

inline void AppendLe(std::string& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

}  // namespace patcher
