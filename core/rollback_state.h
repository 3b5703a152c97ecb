// The rollback baseline: the counters and digests of the last accepted key registry and manifest,
// so that an older release or a different document under a seen counter is refused.
#pragma once

#include <string>
#include <string_view>

#include "core/status.h"

namespace patcher {

// An empty field means there is no baseline for that document.
struct RollbackState {
    std::string keys_version;
    std::string keys_sha256;
    std::string manifest_counter;
    std::string manifest_sha256;
    bool present = false;  // the file existed when it was read
};

// The lenient line reading of a state file's content; present stays false.
RollbackState ParseStateText(std::string_view text);

// An empty path or a missing file is an empty state, not a failure.
Result<RollbackState> ReadStateFile(const std::string& path);

// Replaces the file as a whole: the new content goes to path + ".tmp" and is renamed over the old
// file, so an interrupted write leaves either the previous baseline or the new one.
Status WriteStateFile(const std::string& path, const RollbackState& state);

// label is "key registry" or "manifest"; counters are decimal text, an empty stored counter passes.
Status CheckCounter(const std::string& label, std::string_view new_sha256,
                    std::string_view stored_sha256, std::string_view new_counter,
                    std::string_view stored_counter);

// The freeze rule: a document is expired from its expiry instant on (now >= expires).
Status CheckExpiry(const std::string& label, std::string_view expires, std::string_view now);

}  // namespace patcher
