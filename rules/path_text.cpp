#include "rules/path_text.h"

#include <algorithm>

namespace patcher::rules {

std::wstring ParentPath(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    return path.substr(0, slash);
}

std::wstring LastPathPart(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring JoinPath(const std::wstring& base, const std::wstring& relative) {
    std::wstring joined;
    if (base.empty()) {
        joined = relative;
    } else if (relative.empty()) {
        joined = base;
    } else {
        joined = base;
        if (joined.back() != L'\\' && joined.back() != L'/') joined += L'\\';
        const std::size_t start = relative.find_first_not_of(L"\\/");
        if (start != std::wstring::npos) joined.append(relative, start, std::wstring::npos);
    }
    std::replace(joined.begin(), joined.end(), L'/', L'\\');
    return joined;
}

}  // namespace patcher::rules
