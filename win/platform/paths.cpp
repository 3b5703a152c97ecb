#include "win/platform/paths.h"

#include <windows.h>

#include <algorithm>

namespace patcher::win {
namespace {

// The 8.3 names of an existing path expanded; false when the path does not exist.
bool LongPathOf(const std::wstring& path, std::wstring& out) {
    return GrowingWideCall(
        [&](wchar_t* buffer, std::uint32_t size) {
            return ::GetLongPathNameW(path.c_str(), buffer, size);
        },
        out);
}

}  // namespace

bool PathExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReparsePoint(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool AnyAncestorIsReparsePoint(const std::wstring& directory) {
    // Indices 0-2 are skipped so that "C:\" or the "\\" of a UNC path is not examined as a prefix.
    for (std::size_t i = 3; i < directory.size(); ++i) {
        if (directory[i] != L'\\' && directory[i] != L'/') continue;
        if (IsReparsePoint(directory.substr(0, i))) return true;
    }
    return IsReparsePoint(directory);
}

bool GrowingWideCall(const std::function<std::uint32_t(wchar_t*, std::uint32_t)>& call,
                     std::wstring& out) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t length = call(&buffer[0], static_cast<std::uint32_t>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            out = std::move(buffer);
            return true;
        }
        buffer.assign(length, L'\0');  // the size needed, terminator included
    }
    return false;
}

std::wstring CanonicalPath(const std::wstring& path) {
    if (path.empty()) return path;
    std::wstring full;
    if (!GrowingWideCall(
            [&](wchar_t* buffer, std::uint32_t size) {
                return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
            },
            full)) {
        full = path;
    }
    // GetLongPathNameW fails for a path whose last part does not exist (a file about to be
    // written, a folder about to be made), so the longest existing prefix is expanded instead.
    for (std::size_t length = full.size();;) {
        std::wstring expanded;
        if (LongPathOf(full.substr(0, length), expanded)) return expanded + full.substr(length);
        const std::size_t slash = full.find_last_of(L'\\', length - 1);
        if (slash == std::wstring::npos || slash == 0) return full;
        // "C:" alone would name the drive's current directory, not its root "C:\".
        const std::size_t shorter = full[slash - 1] == L':' ? slash + 1 : slash;
        if (shorter >= length || full.find_first_not_of(L'\\') >= shorter) return full;
        length = shorter;
    }
}

std::wstring FoldPathCase(const std::wstring& path) {
    // The file system matches names by upper-casing them one UTF-16 unit at a time, without any
    // locale: Windows' ordinal case-insensitive rule, CompareStringOrdinal(..., TRUE).
    // LCMapStringEx with LOCALE_NAME_INVARIANT and LCMAP_UPPERCASE, and without
    // LCMAP_LINGUISTIC_CASING, applies the same upper-case table but yields a string to compare.
    // A linguistic or Turkish-locale mapping would fold dotted and dotless i where the file system
    // does not.
    if (path.empty()) return path;
    std::wstring upper(path.size(), L'\0');
    const int length = static_cast<int>(path.size());
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), length, &upper[0],
                        length, nullptr, nullptr, 0) != length) {
        return path;
    }
    return upper;
}

}  // namespace patcher::win
