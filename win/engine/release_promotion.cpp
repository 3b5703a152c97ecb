#include "win/engine/release_promotion.h"

#include <windows.h>

#include "win/engine/release_paths.h"
#include "win/platform/atomic_file.h"

namespace patcher::win {

bool PromoteRelease(const std::wstring& staging_directory, const std::wstring& accepted_directory) {
    if (!EnsureDirectory(accepted_directory)) return false;
    const ReleasePaths from = ReleasePathsOf(staging_directory);
    const ReleasePaths to = ReleasePathsOf(accepted_directory);
    if (!DeleteFileW(to.complete.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND) {
        // A marker that cannot be removed would vouch for a half-moved set.
        return false;
    }
    const std::wstring ReleasePaths::*const kMoved[] = {
        &ReleasePaths::keys, &ReleasePaths::keys_sig, &ReleasePaths::manifest,
        &ReleasePaths::manifest_sig};
    for (const auto member : kMoved) {
        if (!MoveFileExW((from.*member).c_str(), (to.*member).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return false;
        }
    }
    AtomicFile marker;
    static const char kOk[] = "ok\n";
    return marker.Open(to.complete) && marker.Write(kOk, 3) && marker.Commit();
}

}  // namespace patcher::win
