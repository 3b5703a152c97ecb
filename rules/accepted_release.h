// Loading the accepted release set back: the registry verified with the root key, the manifest
// verified with a non-revoked registry key, both parsed from exactly the bytes verified.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/key_registry.h"
#include "core/release_shards.h"

namespace patcher::rules {

// The parsed records are views into the texts held beside them. The texts sit on the heap, so
// moving one of these records never moves the bytes its views point into.
struct AcceptedKeys {
    std::unique_ptr<const std::string> text;
    std::vector<KeyEntry> keys;
};

struct LoadedRelease {
    AcceptedKeys registry;
    std::unique_ptr<const std::string> manifest_text;
    ReleaseFiles release;  // the manifest's files and its shards'
    const std::vector<FileEntry>& files() const { return release.files; }
};

// Paths are UTF-8, as the core takes them.
bool AcceptKeys(const std::string& root_key, const std::string& keys_path, AcceptedKeys& registry,
                std::string& error);

// The shards the manifest lists come from `load_shard`; a failure's code is in `code`.
bool AcceptManifest(const std::string& root_key, const std::string& keys_path,
                    const std::string& manifest_path, const ShardLoader& load_shard,
                    LoadedRelease& release, std::string& error, StatusCode& code);

}  // namespace patcher::rules
