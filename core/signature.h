// Detached Ed25519 signatures of the release documents and the root key that anchors them: the
// text form of a public key, the `.sig` file beside a document, and the check of one document
// against one key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/ed25519.h"
#include "core/key_registry.h"
#include "core/status.h"

namespace patcher {

inline constexpr std::string_view kRootKeyPlaceholder = "ROOT-PUBLIC-KEY-PLACEHOLDER";

// Exactly 44 characters of standard base64 ending in one "="; the two spare bits of the 43rd
// character are ignored. Anything else (other lengths, URL-safe letters, whitespace) is refused.
bool DecodeRawKeyBase64(std::string_view text, Ed25519PublicKey& key);

// The root key text: comment lines ("#") and blank lines are dropped and the rest is joined, so
// the key may be split over lines. Failures are BadInput.
Result<Ed25519PublicKey> ParseRootKey(std::string_view text);

// The 64 bytes of document_path + ".sig". Failures are BadSignature.
Result<std::string> LoadSignature(const std::string& document_path);

// Hands the content back unchanged when the signature verifies with the key, so that callers go
// on with verified bytes only.
Result<std::string> VerifyDetached(const std::string& label, const std::string& content,
                                   std::string_view signature, const Ed25519PublicKey& key);

// The registry entry whose key made a document's signature: the first, in registry order, whose key
// verifies it, with that key in `key`. Entries whose key text does not decode are passed over; so
// are revoked ones when skip_revoked is set. Validation keeps them, so that a manifest signed with
// a revoked key is refused by that key's name. Null when no entry verifies.
const KeyEntry* FindSigner(const std::vector<KeyEntry>& keys, std::string_view document,
                           std::string_view signature, bool skip_revoked, Ed25519PublicKey& key);

}  // namespace patcher
