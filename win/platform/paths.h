// Path helpers for the wide, backslash-separated paths of the Windows layer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rules/path_text.h"

namespace patcher::win {

// Something (a file, a directory or a link) is there, whether or not it can be opened.
bool PathExists(const std::wstring& path);

// The path is a symbolic link, junction or mount point (as the file system reports it).
bool IsReparsePoint(const std::wstring& path);

// A link anywhere between the drive root and `directory`, the directory itself included, which
// could send a write to a place the caller never named.
bool AnyAncestorIsReparsePoint(const std::wstring& directory);

// Calls a Win32 function of the "(buffer, size) -> length" kind (GetFullPathNameW,
// GetLongPathNameW, GetFinalPathNameByHandleW...), growing the buffer to the size it asks for until
// the answer fits. False when the call fails or answers nothing.
bool GrowingWideCall(const std::function<std::uint32_t(wchar_t*, std::uint32_t)>& call,
                     std::wstring& out);

// One spelling for the paths that name one file, so that they compare equal as strings: absolute
// (".", ".." and the current directory resolved, trailing dots and spaces of the last component
// dropped, as Windows does when it opens the path), with the 8.3 names of the existing part
// expanded to long names and the part that does not exist kept as given. Letter case is left
// alone. A step that fails keeps what the steps before gave; the result is never empty for a
// non-empty path.
std::wstring CanonicalPath(const std::wstring& path);

// A path with its letters mapped the way the file system compares names, so that two paths that
// differ only in letter case (non-ASCII letters too) fold to one string.
std::wstring FoldPathCase(const std::wstring& path);

}  // namespace patcher::win
