// The one gate through which a key registry and a manifest are accepted: signatures (registry by
// the root key, manifest by a registry key), strict format, expiry, rollback and replay against
// the stored baseline, optionally the installed files, and only then the baseline moves forward.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/install_diff.h"
#include "core/release_shards.h"
#include "core/rollback_state.h"
#include "core/status.h"

namespace patcher {

struct ValidateOptions {
    std::string manifest_path;  // its signature is manifest_path + ".sig"
    std::string keys_path;      // its signature is keys_path + ".sig"
    std::string root_key;       // root public key text, as ParseRootKey takes it
    std::string state_path;     // empty: no rollback protection, and the baseline never moves
    std::string dist;           // install directory for the content check; empty: no check
    std::string expect_version;
    std::string now;  // fixed-width UTC timestamp; empty: the system clock
    bool with_diff = false;
    CheckLevel level = CheckLevel::Full;
    std::vector<std::string> critical_paths;
    // Where the shards a manifest lists come from; empty: only the manifest's own files are
    // checked, and a note says so.
    ShardLoader load_shard;
};

// Filled as far as the run got; the caller reads it whether Validate succeeded or not.
struct ValidateReport {
    std::string version;
    std::string channel;
    std::string counter;
    std::string signing_key_id;
    std::int32_t file_count = 0;  // the manifest's files, and its shards' when they were loaded
    std::int32_t files_verified = 0;
    bool rollback_checked = false;
    bool content_checked = false;
    std::vector<DiffItem> diff;
    std::vector<std::string> notes;  // checks that were not measured
};

Status Validate(const ValidateOptions& options, ValidateReport& report);

// The rollback baseline recomputed from an installed registry and manifest, for when the state
// file has been lost: both signatures are checked (the manifest's with a non-revoked key), expiry
// and the stored state are not. Writing the state is the caller's step.
Status RebuildBaseline(const std::string& keys_path, const std::string& manifest_path,
                       const std::string& root_key, RollbackState& state);

}  // namespace patcher
