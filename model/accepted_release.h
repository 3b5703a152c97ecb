// Loading the accepted release set back: the registry verified with the root key, the manifest
// verified with a non-revoked registry key, both parsed from exactly the bytes verified.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/key_registry.h"
#include "core/manifest.h"

namespace patcher::win {

// The parsed records are views into the texts held beside them. The texts sit on the heap, so
// moving one of these records never moves the bytes its views point into.
struct AcceptedKeys {
    std::unique_ptr<const std::string> text;
    std::vector<KeyEntry> keys;
};

struct LoadedRelease {
    AcceptedKeys registry;
    std::unique_ptr<const std::string> manifest_text;
    std::vector<FileEntry> files;
};

// Paths are UTF-8, as the core takes them.
bool AcceptKeys(const std::string& root_key, const std::string& keys_path, AcceptedKeys& registry,
                std::string& error);

bool AcceptManifest(const std::string& root_key, const std::string& keys_path,
                    const std::string& manifest_path, LoadedRelease& release, std::string& error);

}  // namespace patcher::win
