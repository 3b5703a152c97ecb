#include "tools/release/registry_document.h"

#include "core/key_registry.h"
#include "core/signature.h"
#include "core/text.h"

namespace patcher::release {
namespace {

bool Listed(const RegistryDraft& draft, const std::string& id) {
    for (const RegistryKeyLine& line : draft.keys) {
        if (line.id == id) return true;
    }
    return false;
}

Status NotListed(const std::string& id) {
    return Status(StatusCode::BadInput,
                  "key id '" + PrintableCopy(id) + "' is not in the registry");
}

}  // namespace

Result<RegistryDraft> ParseRegistryDraft(const std::string& text) {
    Status status = CheckTextFormat(text, "key registry");
    if (!status.ok()) return status;
    Result<KeyRegistryHeader> header = ParseKeyRegistryHeader(text);
    if (!header.ok()) return header.status();
    Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text);
    if (!keys.ok()) return keys.status();
    RegistryDraft draft;
    draft.version = std::string(header.value().version);
    draft.expires = std::string(header.value().expires);
    for (const KeyEntry& entry : keys.value()) {
        draft.keys.push_back({std::string(entry.id), entry.revoked, std::string(entry.public_key)});
    }
    return draft;
}

Status AddRegistryKey(RegistryDraft& draft, const std::string& id, const std::string& public_key) {
    if (Listed(draft, id)) {
        return Status(StatusCode::BadInput,
                      "key id '" + PrintableCopy(id) + "' is already in the registry");
    }
    bool revoked = false;
    const std::string existing = FindRegistryKey(draft, public_key, revoked);
    if (!existing.empty()) {
        return Status(StatusCode::BadInput, "that public key is already listed as '" + existing +
                                                (revoked ? "' (revoked)" : "'"));
    }
    draft.keys.push_back({id, false, public_key});
    return Status::Success();
}

Status RevokeRegistryKey(RegistryDraft& draft, const std::string& id) {
    if (!Listed(draft, id)) return NotListed(id);
    for (RegistryKeyLine& line : draft.keys) {
        if (line.id == id) line.revoked = true;
    }
    return Status::Success();
}

Status RemoveRegistryKey(RegistryDraft& draft, const std::string& id) {
    if (!Listed(draft, id)) return NotListed(id);
    std::erase_if(draft.keys, [&](const RegistryKeyLine& line) { return line.id == id; });
    return Status::Success();
}

Status RotateRegistryKey(RegistryDraft& draft, const std::string& old_id, const std::string& new_id,
                         const std::string& public_key) {
    if (!Listed(draft, old_id)) return NotListed(old_id);
    Status status = AddRegistryKey(draft, new_id, public_key);
    if (status.ok()) status = RevokeRegistryKey(draft, old_id);
    return status;
}

Result<std::string> RenderRegistry(const RegistryDraft& draft) {
    std::string text = "version " + draft.version + "\nexpires " + draft.expires + "\n";
    bool any_valid = false;
    for (const RegistryKeyLine& line : draft.keys) {
        text +=
            "key " + line.id + (line.revoked ? " revoked " : " valid ") + line.public_key + "\n";
        any_valid = any_valid || !line.revoked;
    }
    // The same parse the patcher runs, so that a bad id or key text is refused here, by the
    // patcher's own words, and not after publishing.
    Result<RegistryDraft> check = ParseRegistryDraft(text);
    if (!check.ok()) return check.status();
    if (check.value().keys.size() != draft.keys.size() || check.value().version != draft.version ||
        check.value().expires != draft.expires) {
        return Status(StatusCode::BadFormat,
                      "a registry value holds a space or line break and would change the document");
    }
    if (!any_valid) {
        return Status(StatusCode::BadInput,
                      "the registry would hold no valid key, so no manifest could be signed");
    }
    return text;
}

std::string FindRegistryKey(const RegistryDraft& draft, const std::string& public_key,
                            bool& revoked) {
    // Keys are compared as the patcher uses them, decoded: two texts that differ only in the
    // ignored spare bits are the same key.
    Ed25519PublicKey wanted{};
    const bool decodes = DecodeRawKeyBase64(public_key, wanted);
    for (const RegistryKeyLine& line : draft.keys) {
        Ed25519PublicKey listed{};
        const bool same = decodes ? DecodeRawKeyBase64(line.public_key, listed) && listed == wanted
                                  : line.public_key == public_key;
        if (same) {
            revoked = line.revoked;
            return line.id;
        }
    }
    return {};
}

}  // namespace patcher::release
