// Paths reach the core as UTF-8 text on every platform. Files are opened through a
// std::filesystem::path made from that text, so Windows receives exactly the UTF-16 path the caller
// meant, whatever the ANSI code page: a folder named "Şükrü" or "Данные" is opened as itself,
// never as another file with similar letters.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace patcher {

// Nothing when the text is not valid UTF-8 (which on Windows has no exact UTF-16 form).
std::optional<std::filesystem::path> Utf8Path(std::string_view utf8);

}  // namespace patcher
