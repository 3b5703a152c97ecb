#include "core/file_path.h"

#include <string>

namespace patcher {

std::optional<std::filesystem::path> Utf8Path(std::string_view utf8) {
    const std::u8string_view text(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
    try {
        // POSIX keeps the bytes as they are; Windows converts to UTF-16 and throws on bad UTF-8.
        return std::filesystem::path(text);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace patcher
