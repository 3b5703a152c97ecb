#include "tools/release/object_gc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/chunk_index.h"
#include "core/compressed_form.h"
#include "core/manifest.h"
#include "core/text.h"

namespace patcher::release {
namespace fs = std::filesystem;
namespace {

struct Release {
    std::string folder;
    std::uint64_t counter = 0;
    std::vector<std::string> objects;
};

bool IsSha256Hex(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

Status ReadRelease(const std::string& folder, Release& release) {
    release.folder = folder;
    Result<std::string> text = ReadTextFile(folder + "/manifest.txt", "manifest");
    if (!text.ok()) return text.status();
    const Result<ManifestHeader> header = ParseManifestHeader(text.value());
    const Result<std::vector<FileEntry>> files = ParseManifestFiles(text.value());
    if (!header.ok() || !files.ok() || !ParseU64(header.value().counter, release.counter)) {
        return Status(StatusCode::BadFormat,
                      folder +
                          "/manifest.txt cannot be read as a manifest; nothing is removed "
                          "while it is unknown which objects it names");
    }
    for (const FileEntry& file : files.value()) release.objects.emplace_back(file.sha256);
    return Status::Success();
}

// Calls visit for each entry of folder; a folder that cannot be listed is a failure.
template <typename Visit>
Status ForEachEntry(const std::string& folder, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const Status status = visit(*it);
        if (!status.ok()) return status;
    }
    if (error)
        return Status(StatusCode::BadInput, "cannot list " + folder + ": " + error.message());
    return Status::Success();
}

// Every release below the releases folder; hidden folders are publishes still being built.
Status ReadReleases(const std::string& releases, std::vector<Release>& found) {
    return ForEachEntry(releases, [&](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name.empty() || name[0] == '.' || !entry.is_directory(ignored) ||
            !fs::exists(entry.path() / "manifest.txt", ignored)) {
            return Status::Success();
        }
        Release release;
        const Status status = ReadRelease(entry.path().string(), release);
        if (status.ok()) found.push_back(std::move(release));
        return status;
    });
}

// The SHA-256 an entry of the objects folder belongs to ("ab12…" for "ab12…", "ab12….chunks",
// "ab12….zst" and a partial copy of any of them, "ab12….zst.partial-N"); empty for a name that is
// none of these.
std::string ObjectOfEntry(const std::string& name) {
    const std::string object = name.substr(0, std::min<std::size_t>(name.size(), 64));
    std::string kind = name.substr(object.size());
    kind = kind.substr(0, kind.find(".partial-"));
    const bool ours = kind.empty() || kind == kChunkIndexSuffix || kind == kFormSuffix;
    return ours && IsSha256Hex(object) ? object : std::string();
}

// What stays: an entry whose object a kept release names, or one younger than the minimum age.
bool KeepEntry(const std::set<std::string>& named, const std::string& object,
               std::int64_t age_seconds, std::int64_t min_age_seconds) {
    return named.count(object) != 0 || age_seconds < min_age_seconds;
}

}  // namespace

Status CollectGarbage(const GcOptions& options, GcSummary& summary) {
    summary = GcSummary();
    if (options.keep < 1) return Status(StatusCode::BadInput, "--keep must be at least 1");
    std::vector<Release> releases;
    Status status = ReadReleases(options.releases, releases);
    Release live;
    if (status.ok()) status = ReadRelease(options.live, live);
    if (!status.ok()) return status;
    std::sort(releases.begin(), releases.end(),
              [](const Release& a, const Release& b) { return a.counter > b.counter; });
    if (releases.size() > static_cast<std::size_t>(options.keep)) releases.resize(options.keep);
    releases.push_back(live);
    std::set<std::string> named;
    for (const Release& release : releases) {
        summary.releases_kept.push_back(release.folder);
        named.insert(release.objects.begin(), release.objects.end());
    }

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    const auto sweep = [&](const fs::directory_entry& entry, const std::string& fan) {
        const std::string name = entry.path().filename().string();
        const std::string object = ObjectOfEntry(name);
        struct stat info {};
        if (object.empty() || ::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return Status::Success();  // not ours: left alone
        }
        const bool is_object = name == object;
        if (KeepEntry(named, object, now - info.st_mtime, options.min_age_seconds)) {
            if (is_object)
                ++(named.count(object) != 0 ? summary.objects_kept : summary.objects_young);
            return Status::Success();
        }
        if (!options.dry_run && ::unlink(entry.path().c_str()) != 0) {
            return Status(StatusCode::BadInput, "cannot remove " + entry.path().string());
        }
        if (is_object) ++summary.objects_removed;
        summary.bytes_removed += static_cast<std::uint64_t>(info.st_size);
        summary.removed.push_back(fan + "/" + name);
        return Status::Success();
    };
    return ForEachEntry(options.objects, [&](const fs::directory_entry& fan) {
        std::error_code ignored;
        if (!fan.is_directory(ignored)) return Status::Success();
        const std::string name = fan.path().filename().string();
        return ForEachEntry(fan.path().string(),
                            [&](const fs::directory_entry& entry) { return sweep(entry, name); });
    });
}

}  // namespace patcher::release
