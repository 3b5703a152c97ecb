// The key registry as the operator edits it: read through the core's parsers, changed by adding,
// revoking, rotating and removing keys, and written back in the canonical line order (version,
// expires, then the key lines), checked again by the core before anyone signs it.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"

namespace patcher::release {

struct RegistryKeyLine {
    std::string id;
    bool revoked = false;
    std::string public_key;  // 44 base64 characters
};

struct RegistryDraft {
    std::string version;
    std::string expires;
    std::vector<RegistryKeyLine> keys;
};

// A registry text as the patcher reads it: line rules, header and key lines. Lines of other kinds
// are not kept.
Result<RegistryDraft> ParseRegistryDraft(const std::string& text);

// Adds a valid key; refuses an id or a public key that is already listed (in any state).
Status AddRegistryKey(RegistryDraft& draft, const std::string& id, const std::string& public_key);
// Marks every line of the id revoked; refuses an id that is not listed.
Status RevokeRegistryKey(RegistryDraft& draft, const std::string& id);
// Drops every line of the id; refuses an id that is not listed.
Status RemoveRegistryKey(RegistryDraft& draft, const std::string& id);
// The planned change of signing key: the new key is added as valid and the old one revoked, so a
// manifest still signed with the old key is refused by name rather than as unknown.
Status RotateRegistryKey(RegistryDraft& draft, const std::string& old_id, const std::string& new_id,
                         const std::string& public_key);

// The text, held to the core's line rules and parsers; refused when it would leave no valid key
// (then no manifest could be signed).
Result<std::string> RenderRegistry(const RegistryDraft& draft);

// The id of the first line listing the key, the one the patcher's signer search would reach.
// Empty when the key is not listed; `revoked` tells that line's state.
std::string FindRegistryKey(const RegistryDraft& draft, const std::string& public_key,
                            bool& revoked);

}  // namespace patcher::release
