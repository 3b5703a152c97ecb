#include "win/engine/release_paths.h"

#include "win/platform/paths.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

ReleasePaths ReleasePathsOf(const std::wstring& directory) {
    ReleasePaths paths;
    paths.keys = JoinPath(directory, L"keys.txt");
    paths.keys_sig = paths.keys + L".sig";
    paths.manifest = JoinPath(directory, L"manifest.txt");
    paths.manifest_sig = paths.manifest + L".sig";
    paths.complete = JoinPath(directory, L"complete.txt");
    return paths;
}

bool IsReleaseComplete(const std::wstring& directory) {
    const ReleasePaths paths = ReleasePathsOf(directory);
    for (const std::wstring* path :
         {&paths.keys, &paths.keys_sig, &paths.manifest, &paths.manifest_sig, &paths.complete}) {
        if (!PathExists(*path)) return false;
    }
    return true;
}

bool ToCorePath(const std::wstring& path, std::string& utf8, std::string& diagnostic) {
    if (WideToUtf8Exact(path, utf8)) return true;
    diagnostic =
        "install or data path is not valid Unicode (unpaired surrogate): " + WideToUtf8(path);
    return false;
}

}  // namespace patcher::win
