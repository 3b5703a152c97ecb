// Digests travel as lowercase hex text, high nibble first, and are compared as plain strings.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace patcher {

std::string HexEncode(std::span<const std::uint8_t> bytes);

}  // namespace patcher
