#include "tools/release/release_folders.h"

#include "core/manifest.h"
#include "core/release_shards.h"
#include "core/text.h"
#include "tools/release/manifest_shards.h"

namespace patcher::release {
namespace fs = std::filesystem;

Status ReadRelease(const std::string& folder, PublishedRelease& release) {
    release.folder = folder;
    Result<std::string> text = ReadTextFile(folder + "/manifest.txt", "manifest");
    if (!text.ok()) return text.status();
    const Result<ManifestHeader> header = ParseManifestHeader(text.value());
    ReleaseFiles files;
    const Status loaded =
        LoadReleaseFiles(text.value(), ShardsInFolder(folder + "/" + kShardsFolder), {}, files);
    if (!header.ok() || !loaded.ok() || !ParseU64(header.value().counter, release.counter)) {
        return Status(StatusCode::BadFormat,
                      folder + "/manifest.txt cannot be read as a manifest" +
                          (loaded.ok() ? std::string() : ": " + loaded.message));
    }
    for (const FileEntry& file : files.files) {
        release.files.push_back({std::string(file.path), std::string(file.sha256), file.size});
    }
    return Status::Success();
}

Status ReadReleases(const std::string& releases, std::vector<PublishedRelease>& found) {
    return ForEachEntry(releases, [&](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.empty() || name[0] == '.' || !entry.is_directory(ignored) ||
            !fs::exists(entry.path() / "manifest.txt", ignored)) {
            return Status::Success();
        }
        PublishedRelease release;
        const Status status = ReadRelease(entry.path().string(), release);
        if (status.ok()) found.push_back(std::move(release));
        return status;
    });
}

}  // namespace patcher::release
