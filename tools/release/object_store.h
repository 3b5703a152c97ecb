// The objects folder that the releases of one deployment share: every published file's bytes under
// the name of their SHA-256 ("ab/ab12…"), the chunk index of a large one beside it. An object is
// written once and never rewritten, so a CDN may cache any of them for ever; a release folder then
// holds only its signed documents, and publishing one adds only the objects that are new.
#pragma once

#include <cstdint>
#include <string>

#include "core/status.h"

namespace patcher::release {

// The path of the object of a SHA-256 below the objects folder, and below its address.
std::string ObjectName(const std::string& sha256);

struct ObjectTally {
    int added = 0;
    int reused = 0;
    std::uint64_t added_bytes = 0;
    std::uint64_t reused_bytes = 0;
    int chunk_indexes = 0;  // written for new large objects (or found missing beside old ones)
};

// Stores the file at `source`, whose SHA-256 and size were measured, as its object. An object of
// that name already there is kept as it is; a new one is copied to a temporary name, flushed,
// measured again (a source that changed meanwhile is refused) and only then given its name.
Status StoreObject(const std::string& objects, const std::string& source, const std::string& sha256,
                   std::uint64_t size, ObjectTally& tally);

// The object of the release's file `path` is there with the size and SHA-256 given (else
// ContentMismatch), and a large one has the chunk index its bytes give beside it (a missing index
// is only a `note`: players then fetch the file whole).
Status CheckObject(const std::string& objects, const std::string& path, const std::string& sha256,
                   const std::string& size, std::string& note);

}  // namespace patcher::release
