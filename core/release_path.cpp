#include "core/release_path.h"

#include <algorithm>
#include <cstdint>

#include "core/manifest.h"
#include "core/text.h"
#include "core/utf8.h"

namespace patcher {
namespace {

Status BadFormat(std::string message) {
    return Status(StatusCode::BadFormat, std::move(message));
}

bool IsPlainPathByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '/' || c == '-';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool HasControlCharacter(std::string_view utf8) {
    while (!utf8.empty()) {
        std::uint32_t c = 0;
        utf8.remove_prefix(DecodeUtf8(utf8, c));
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    }
    return false;
}

// Windows also takes the superscript digits of ISO 8859-1 for the digit of COM and LPT; names in
// the manifest's own set cannot hold them, so the manifest's rule does without.
bool IsSuperscriptDevice(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);  // Win32 drops these too
    if (stem.size() != 5) return false;
    std::string device(stem.substr(0, 3));
    for (char& c : device) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    const std::string_view digit = stem.substr(3);
    return (device == "COM" || device == "LPT") &&
           (digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3");
}

// The first name of `path` that breaks a per-name rule, with the rule's message.
Status CheckNames(std::string_view path) {
    const std::string quoted(path);
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view name = path.substr(start, slash - start);
        if (name.empty()) {
            return BadFormat("path has an empty name ('//' or a '/' at the end): " + quoted);
        }
        if (name == "..") {
            return BadFormat("path contains '..' (write outside the install directory): " + quoted);
        }
        if (name.back() == '.' || name.back() == ' ') {
            return BadFormat(
                "path has a name ending in a dot or a space, which Windows drops, so two names "
                "would be one file: " +
                quoted);
        }
        if (IsReservedDeviceName(name) || IsSuperscriptDevice(name)) {
            return BadFormat("path contains a name Windows reserves for a device: " + quoted);
        }
        start = slash + 1;
    }
    return Status::Success();
}

}  // namespace

Status DecodeShardPath(std::string_view field, std::string& path) {
    path.clear();
    path.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (IsPlainPathByte(field[i])) {
            path += field[i];
            continue;
        }
        if (field[i] != '%') {
            return BadFormat("shard path outside [A-Za-z0-9._/-] and %XX escapes: " +
                             PrintableCopy(field));
        }
        const int high = i + 2 < field.size() ? HexValue(field[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(field[i + 2]) : -1;
        if (low < 0) {
            return BadFormat("shard path has a '%' not followed by two hex digits: " +
                             PrintableCopy(field));
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return Status::Success();
}

std::string EncodeShardPath(std::string_view path) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string field;
    field.reserve(path.size());
    for (const char c : path) {
        if (IsPlainPathByte(c)) {
            field += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            field += '%';
            field += kDigits[byte >> 4];
            field += kDigits[byte & 15];
        }
    }
    return field;
}

bool NeedsShardEncoding(std::string_view path) {
    return !std::all_of(path.begin(), path.end(), IsPlainPathByte);
}

Status CheckReleasePath(std::string_view path) {
    if (path.empty()) return BadFormat("path is empty");
    if (!IsValidUtf8(path)) return BadFormat("path is not valid UTF-8: " + PrintableCopy(path));
    if (HasControlCharacter(path)) {
        return BadFormat("path contains a control character: " + PrintableCopy(path));
    }
    const std::string quoted(path);
    if (path.find_first_of("<>:\"\\|?*") != std::string_view::npos) {
        return BadFormat(
            "path contains a character Windows does not allow in a file name "
            "(< > : \" \\ | ? *): " +
            quoted);
    }
    if (path.front() == '/') {
        return BadFormat("path starts with '/' (absolute paths are forbidden): " + quoted);
    }
    if (Utf16Length(path) > kMaxReleasePathUnits) {
        return BadFormat("path is longer than " + std::to_string(kMaxReleasePathUnits) +
                         " UTF-16 units: " + quoted);
    }
    return CheckNames(path);
}

}  // namespace patcher
