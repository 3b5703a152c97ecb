// Removing objects that no release needs any more: an object stays while the live release or one
// of the newest releases names it, and while it is young (a publish or an upload may be writing
// the release that will name it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"

namespace patcher::release {

struct GcOptions {
    std::string objects;   // the objects folder
    std::string releases;  // the folder whose subfolders are the published releases
    std::string live;      // the release players are served now
    int keep = 3;          // the newest releases, by counter, whose objects stay
    std::int64_t min_age_seconds = 14 * 24 * 3600;
    bool dry_run = false;
};

struct GcSummary {
    std::vector<std::string> releases_kept;  // whose objects stay: newest first, the live one last
    int objects_kept = 0;
    int objects_young = 0;  // named by no kept release, but too young to go
    int objects_removed = 0;
    std::uint64_t bytes_removed = 0;   // objects, their indexes, forms, deltas, partial copies
    std::vector<std::string> removed;  // paths below the objects folder
};

// Reads every release's manifest (refusing to remove anything when one cannot be read), then
// removes what KeepEntry lets go, or with dry_run only lists it.
Status CollectGarbage(const GcOptions& options, GcSummary& summary);

}  // namespace patcher::release
