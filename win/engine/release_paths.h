// Where a release set lives on disk and where its files live on the release server.
#pragma once

#include <string>

namespace patcher::win {

// The five files of a release set inside one directory ("pending" or "current").
struct ReleasePaths {
    std::wstring keys;
    std::wstring keys_sig;
    std::wstring manifest;
    std::wstring manifest_sig;
    std::wstring complete;
};

ReleasePaths ReleasePathsOf(const std::wstring& directory);

// All five files exist; nothing else about them is judged here.
bool IsReleaseComplete(const std::wstring& directory);

// The core takes paths as UTF-8 and opens them as the same UTF-16 path. A path holding an unpaired
// surrogate has no UTF-8 form and would name another file, so it is refused.
bool ToCorePath(const std::wstring& path, std::string& utf8, std::string& diagnostic);

}  // namespace patcher::win
