#include "core/key_registry.h"

#include "core/text.h"

namespace patcher {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsKeyIdChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

bool IsKeyId(std::string_view id) {
    if (id.empty()) return false;
    for (const char c : id) {
        if (!IsKeyIdChar(c)) return false;
    }
    return true;
}

// Form only: the 32 key bytes are decoded by the signature search.
bool LooksLikeRawKeyBase64(std::string_view key) {
    if (key.size() != 44 || key.back() != '=') return false;
    return key.substr(0, 43).find_first_not_of(kBase64Alphabet) == std::string_view::npos;
}

Status BadFormat(std::string message) {
    return Status(StatusCode::BadFormat, std::move(message));
}

}  // namespace

Result<KeyRegistryHeader> ParseKeyRegistryHeader(const std::string& registry_text) {
    KeyRegistryHeader header;
    header.version = FindHeaderField(registry_text, "version");
    header.expires = FindHeaderField(registry_text, "expires");
    if (!IsDigits(header.version)) {
        return BadFormat("key registry 'version' field is missing or not an integer");
    }
    if (!IsIsoUtc(header.expires)) {
        return BadFormat("key registry 'expires' field is not fixed-width ISO8601-UTC");
    }
    return header;
}

Result<std::vector<KeyEntry>> ParseKeyRegistryKeys(const std::string& registry_text) {
    std::vector<KeyEntry> keys;
    for (const std::string_view line : SplitLines(registry_text)) {
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields[0] != "key") continue;
        if (fields.size() < 4) {
            return BadFormat("key line has too few fields: " + PrintableCopy(line));
        }
        const std::string_view id = fields[1];
        const std::string_view state = fields[2];
        const std::string_view public_key = fields[3];
        if (state != "valid" && state != "revoked") {
            return BadFormat("unknown key state '" + PrintableCopy(state) +
                             "': " + PrintableCopy(line));
        }
        if (!IsKeyId(id)) {
            return BadFormat("key id outside the allowed character set: " + PrintableCopy(id));
        }
        if (!LooksLikeRawKeyBase64(public_key)) {
            return BadFormat("key '" + PrintableCopy(id) + "' is not raw ed25519 base64");
        }
        keys.push_back(KeyEntry{id, state == "revoked", public_key});
    }
    if (keys.empty()) return BadFormat("key registry contains no 'key' line");
    return keys;
}

}  // namespace patcher
