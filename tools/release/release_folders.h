// The published releases of a deployment, read from the folder whose subfolders they are: what gc
// keeps objects for and what publish makes deltas from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/status.h"

namespace patcher::release {

struct ReleaseFile {
    std::string path;
    std::string sha256;
    std::uint64_t size = 0;
};

struct PublishedRelease {
    std::string folder;
    std::uint64_t counter = 0;
    std::vector<ReleaseFile> files;
};

// The release in `folder`, from its manifest and the shards it lists, kept in the folder's shards/
// (BadFormat when they cannot be read as one release).
Status ReadRelease(const std::string& folder, PublishedRelease& release);

// Every release below `releases`, in no order; hidden folders are publishes still being built.
// A manifest that cannot be read stops it.
Status ReadReleases(const std::string& releases, std::vector<PublishedRelease>& found);

// Calls visit for each entry of folder; a folder that cannot be listed is a failure.
template <typename Visit>
Status ForEachEntry(const std::string& folder, Visit visit) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const Status status = visit(*it);
        if (!status.ok()) return status;
    }
    if (error)
        return Status(StatusCode::BadInput, "cannot list " + folder + ": " + error.message());
    return Status::Success();
}

}  // namespace patcher::release
