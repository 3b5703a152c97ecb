// Binary deltas between objects (core/binary_delta.h): made with libzstd as `zstd --long
// --patch-from=OLD NEW` makes them, and checked with the patcher's own decoder before any list
// names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"
#include "tools/release/manifest_document.h"
#include "tools/release/release_folders.h"

namespace patcher::release {

inline constexpr int kDeltaDefaultLevel = 19;
inline constexpr int kDeltaDefaultReleases = 3;

struct DeltaPair {
    std::string new_sha256;
    std::uint64_t new_size = 0;
    std::string old_sha256;
    std::uint64_t old_size = 0;
};

// For each file of the new release, the other copies of its path that the `count` newest of
// `older` (by counter, below `counter`) hold: each pair once, newest release first, none for an
// empty copy or one above kDeltaMaxFileBytes.
std::vector<DeltaPair> ChooseDeltaPairs(const std::vector<ManifestFile>& files,
                                        std::vector<PublishedRelease> older, std::uint64_t counter,
                                        int count);

// Writes the delta that turns `old_object` into `new_object` into the new file `delta`, flushed
// to disk, when it is smaller than `below` bytes, and answers its bytes; otherwise nothing is
// left at `delta` and the answer is 0. ContentMismatch when `old_object` does not hash to
// `old_sha256`.
Result<std::uint64_t> WriteDelta(const std::string& old_object, const std::string& old_sha256,
                                 const std::string& new_object, int level, std::uint64_t below,
                                 const std::string& delta);

// The delta at `delta` is one the patcher decodes, given `old_object`, into the file of this size
// and SHA-256 (else ContentMismatch naming it and why).
Status CheckDelta(const std::string& delta, const std::string& old_object, std::uint64_t size,
                  const std::string& sha256);

}  // namespace patcher::release
