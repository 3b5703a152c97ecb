#include "tools/release/object_gc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <system_error>
#include <unordered_set>

#include "core/binary_delta.h"
#include "core/chunk_index.h"
#include "core/compressed_form.h"
#include "core/text.h"
#include "tools/release/file_io.h"
#include "tools/release/release_folders.h"

namespace patcher::release {
namespace fs = std::filesystem;
namespace {

// The SHA-256 an entry of the objects folder belongs to ("ab12…" for "ab12…", "ab12….chunks",
// "ab12….zst", the delta "ab12….from-cd34…" and a partial copy of any of them,
// "ab12….zst.partial-N"), and for a delta the object it is made from ("cd34…"); false for a name
// that is none of these.
bool ReadEntryName(const std::string& name, std::string& object, std::string& source) {
    object = name.substr(0, std::min<std::size_t>(name.size(), 64));
    std::string kind = name.substr(object.size());
    kind = kind.substr(0, kind.find(".partial-"));
    source.clear();
    if (kind.rfind(kDeltaInfix, 0) == 0) {
        source = kind.substr(std::string(kDeltaInfix).size());
        if (!IsLowerHex64(source)) return false;
        kind.clear();
    }
    return (kind.empty() || kind == kChunkIndexSuffix || kind == kFormSuffix) &&
           IsLowerHex64(object);
}

// What stays: an entry whose object a kept release names, or one younger than the minimum age. A
// delta also needs its source object to stay, or a kept release's deltas.txt to list it: players
// still on an older release hold that source on their disks, and the server needs only the delta.
bool KeepEntry(const std::set<std::string>& named, const std::set<std::string>& listed_deltas,
               const std::string& name, const std::string& object, const std::string& source,
               std::int64_t age_seconds, std::int64_t min_age_seconds) {
    const auto keeps = [&](const std::string& sha) {
        return named.count(sha) != 0 || age_seconds < min_age_seconds;
    };
    if (!keeps(object)) return false;
    return source.empty() || keeps(source) ||
           listed_deltas.count(name.substr(0, name.find(".partial-"))) != 0;
}

// The delta files (names below their fan folder) that a release's deltas.txt lists into its own
// objects; a release without a readable list lists none.
void AddListedDeltas(const PublishedRelease& release, std::set<std::string>& listed) {
    Result<std::string> text =
        ReadWholeFile(release.folder + "/" + kDeltaListName, kDeltaListCapBytes);
    if (!text.ok()) return;
    std::unordered_set<std::string> wanted;
    for (const ReleaseFile& file : release.files) wanted.insert(file.sha256);
    for (const DeltaListing& delta : ParseDeltaList(text.value(), wanted)) {
        listed.insert(delta.new_sha256 + kDeltaInfix + delta.old_sha256);
    }
}

}  // namespace

Status CollectGarbage(const GcOptions& options, GcSummary& summary) {
    summary = GcSummary();
    if (options.keep < 1) return Status(StatusCode::BadInput, "--keep must be at least 1");
    std::vector<PublishedRelease> releases;
    Status status = ReadReleases(options.releases, releases);
    PublishedRelease live;
    if (status.ok()) status = ReadRelease(options.live, live);
    if (!status.ok()) {
        if (status.code != StatusCode::BadFormat) return status;
        return Status(status.code, status.message +
                                       "; nothing is removed while it is unknown which objects "
                                       "it names");
    }
    std::sort(releases.begin(), releases.end(),
              [](const auto& a, const auto& b) { return a.counter > b.counter; });
    if (releases.size() > static_cast<std::size_t>(options.keep)) releases.resize(options.keep);
    releases.push_back(live);
    std::set<std::string> named, listed_deltas;
    for (const PublishedRelease& release : releases) {
        summary.releases_kept.push_back(release.folder);
        for (const ReleaseFile& file : release.files) named.insert(file.sha256);
        AddListedDeltas(release, listed_deltas);
    }

    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    const auto sweep = [&](const fs::directory_entry& entry, const std::string& fan) {
        const std::string name = entry.path().filename().string();
        std::string object, source;
        struct stat info {};
        if (!ReadEntryName(name, object, source) || ::lstat(entry.path().c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode)) {
            return Status::Success();  // not ours: left alone
        }
        const bool is_object = name == object;
        if (KeepEntry(named, listed_deltas, name, object, source, now - info.st_mtime,
                      options.min_age_seconds)) {
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
