#include "rules/accepted_release.h"

#include "core/ed25519.h"
#include "core/signature.h"
#include "core/text.h"

namespace patcher::rules {
namespace {

// Hands a step's value on, or its message to the caller's error text.
template <class T>
bool Take(Result<T> result, T& value, std::string& error) {
    if (!result.ok()) {
        error = result.status().message;
        return false;
    }
    value = std::move(result).value();
    return true;
}

}  // namespace

bool AcceptKeys(const std::string& root_key, const std::string& keys_path, AcceptedKeys& registry,
                std::string& error) {
    Ed25519PublicKey root{};
    std::string bytes, signature, verified;
    if (!Take(ParseRootKey(root_key), root, error) ||
        !Take(ReadTextFile(keys_path, "keys.txt"), bytes, error) ||
        !Take(LoadSignature(keys_path), signature, error) ||
        !Take(VerifyDetached("keys.txt", bytes, signature, root), verified, error)) {
        return false;
    }
    auto text = std::make_unique<const std::string>(std::move(verified));
    std::vector<KeyEntry> keys;
    if (!Take(ParseKeyRegistryKeys(*text), keys, error)) return false;
    registry.text = std::move(text);
    registry.keys = std::move(keys);
    return true;
}

bool AcceptManifest(const std::string& root_key, const std::string& keys_path,
                    const std::string& manifest_path, const ShardLoader& load_shard,
                    LoadedRelease& release, std::string& error, StatusCode& code) {
    code = StatusCode::BadInput;
    AcceptedKeys registry;
    std::string bytes, signature, verified;
    if (!AcceptKeys(root_key, keys_path, registry, error) ||
        !Take(ReadTextFile(manifest_path, "manifest.txt"), bytes, error) ||
        !Take(LoadSignature(manifest_path), signature, error)) {
        return false;
    }
    Ed25519PublicKey key{};
    if (FindSigner(registry.keys, bytes, signature, /*skip_revoked=*/true, key) == nullptr) {
        error = "no non-revoked registry key verifies the manifest";
        return false;
    }
    if (!Take(VerifyDetached("manifest.txt", bytes, signature, key), verified, error)) return false;
    auto text = std::make_unique<const std::string>(std::move(verified));
    ReleaseFiles files;
    const Status loaded = LoadReleaseFiles(*text, load_shard, {}, files);
    if (!loaded.ok()) {
        code = loaded.code;
        error = loaded.message;
        return false;
    }
    release.registry = std::move(registry);
    release.manifest_text = std::move(text);
    release.release = std::move(files);
    return true;
}

}  // namespace patcher::rules
