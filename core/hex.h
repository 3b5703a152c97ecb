// Digests travel as lowercase hex text, high nibble first, and are compared as plain strings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace patcher {

std::string HexEncode(std::span<const std::uint8_t> bytes);
// The 32 bytes behind 64 lowercase hex characters; nothing for any other text.
std::optional<std::array<std::uint8_t, 32>> DecodeDigestHex(std::string_view text);

}  // namespace patcher
