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

// The base URL without its trailing '/', then '/', then the file name.
std::wstring UrlJoin(const std::wstring& base_url, const std::wstring& name);

// All five files exist; nothing else about them is judged here.
bool IsReleaseComplete(const std::wstring& directory);

// The core takes narrow paths in the system ANSI code page; a path that cannot be represented there
// exactly would name another file, so it is refused.
bool ToAnsiPath(const std::wstring& path, std::string& narrow, std::string& diagnostic);

}  // namespace patcher::win
