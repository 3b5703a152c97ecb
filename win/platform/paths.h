// Path helpers for the wide, backslash-separated paths of the Windows layer.
#pragma once

#include <string>

namespace patcher::win {

// Everything before the last '\' or '/'; empty when the path holds neither.
std::wstring ParentPath(const std::wstring& path);

// base + one '\' + relative without its leading separators; every '/' becomes '\'.
std::wstring JoinPath(const std::wstring& base, const std::wstring& relative);

// Something (a file, a directory or a link) is there, whether or not it can be opened.
bool PathExists(const std::wstring& path);

// The path is a symbolic link, junction or mount point (as the file system reports it).
bool IsReparsePoint(const std::wstring& path);

}  // namespace patcher::win
