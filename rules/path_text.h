// Joining and splitting the wide, backslash-separated paths of the Windows layer, as text only.
#pragma once

#include <string>

namespace patcher::rules {

// Everything before the last '\' or '/'; empty when the path holds neither.
std::wstring ParentPath(const std::wstring& path);

// Everything after the last '\' or '/'; the whole path when it holds neither.
std::wstring LastPathPart(const std::wstring& path);

// base + one '\' + relative without its leading separators; every '/' becomes '\'.
std::wstring JoinPath(const std::wstring& base, const std::wstring& relative);

}  // namespace patcher::rules
