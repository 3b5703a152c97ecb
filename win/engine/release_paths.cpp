#include "win/engine/release_paths.h"

#include <windows.h>

#include "win/platform/paths.h"
#include "win/platform/text.h"

namespace patcher::win {

ReleasePaths ReleasePathsOf(const std::wstring& directory) {
    ReleasePaths paths;
    paths.keys = JoinPath(directory, L"keys.txt");
    paths.keys_sig = paths.keys + L".sig";
    paths.manifest = JoinPath(directory, L"manifest.txt");
    paths.manifest_sig = paths.manifest + L".sig";
    paths.complete = JoinPath(directory, L"complete.txt");
    return paths;
}

std::wstring UrlJoin(const std::wstring& base_url, const std::wstring& name) {
    std::wstring url = base_url;
    while (!url.empty() && url.back() == L'/') url.pop_back();
    return url + L"/" + name;
}

bool IsReleaseComplete(const std::wstring& directory) {
    const ReleasePaths paths = ReleasePathsOf(directory);
    for (const std::wstring* path :
         {&paths.keys, &paths.keys_sig, &paths.manifest, &paths.manifest_sig, &paths.complete}) {
        if (GetFileAttributesW(path->c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    }
    return true;
}

bool ToAnsiPath(const std::wstring& path, std::string& narrow, std::string& diagnostic) {
    if (WideToAnsiExact(path, narrow)) return true;
    diagnostic = "install or data path cannot be represented in the system ANSI code page: " +
                 WideToUtf8(path);
    return false;
}

}  // namespace patcher::win
