// The key registry: the signed list of Ed25519 keys that may sign a manifest, with its counter and
// expiry time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher {

// Records hold views, not copies, into the registry text they were parsed from. The parsers take
// that text as `const std::string&` and refuse temporaries at compile time, so the buffer a record
// borrows from is always a named string at the call site, and it must stay alive and unmoved (a
// moved std::string may carry short contents along to a new address) while the records are used.
// Copy a field into a std::string to keep it longer.
struct KeyRegistryHeader {
    std::string_view version;  // decimal digits; a number only when compared for rollback
    std::string_view expires;  // a fixed-width UTC timestamp
};

struct KeyEntry {
    std::string_view id;
    bool revoked = false;
    std::string_view public_key;  // 44 base64 characters; decoded by the signature search
};

Result<KeyRegistryHeader> ParseKeyRegistryHeader(const std::string& registry_text);
Result<KeyRegistryHeader> ParseKeyRegistryHeader(std::string&&) = delete;

// Every `key` line in file order; the first bad line fails the whole parse.
Result<std::vector<KeyEntry>> ParseKeyRegistryKeys(const std::string& registry_text);
Result<std::vector<KeyEntry>> ParseKeyRegistryKeys(std::string&&) = delete;

}  // namespace patcher
