#include "core/signature.h"

#include <cstdint>

#include "core/text.h"

namespace patcher {
namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string_view TrimLine(std::string_view line) {
    constexpr std::string_view kSpace = " \t\r\n";
    const std::size_t first = line.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = line.find_last_not_of(kSpace);
    return line.substr(first, last - first + 1);
}

}  // namespace

bool DecodeRawKeyBase64(std::string_view text, Ed25519PublicKey& key) {
    if (text.size() != 44 || text[43] != '=') return false;
    std::uint32_t bits = 0;
    int pending = 0;
    std::size_t out = 0;
    Ed25519PublicKey decoded{};
    for (std::size_t i = 0; i < 43; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0) return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        pending += 6;
        if (pending >= 8 && out < decoded.size()) {
            pending -= 8;
            decoded[out++] = static_cast<std::uint8_t>(bits >> pending);
            bits &= (1u << pending) - 1;
        }
    }
    key = decoded;
    return true;
}

Result<Ed25519PublicKey> ParseRootKey(std::string_view text) {
    std::string joined;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = TrimLine(text.substr(start, end - start));
        if (!line.empty() && line.front() != '#') joined.append(line);
        start = end + 1;
    }
    if (joined.empty()) return Status(StatusCode::BadInput, "root public key is empty");
    if (joined == kRootKeyPlaceholder) {
        return Status(
            StatusCode::BadInput,
            "root public key is a PLACEHOLDER. The real key is installed by Tovrel after "
            "the root key ceremony (TASARIM 6.6); the agent never generates it. For tests "
            "pass a fixture key.");
    }
    Ed25519PublicKey key;
    if (!DecodeRawKeyBase64(joined, key)) {
        return Status(StatusCode::BadInput,
                      "root public key is not the base64 of a raw 32-byte ed25519 key");
    }
    return key;
}

Result<std::string> LoadSignature(const std::string& document_path) {
    const std::string path = document_path + ".sig";
    if (!FileExists(path)) {
        return Status(StatusCode::BadSignature,
                      path + " is missing -- unsigned input is not accepted");
    }
    Result<std::string> bytes = ReadTextFile(path, "signature");
    if (!bytes.ok()) {
        return Status(StatusCode::BadSignature, path + " is not a 64-byte ed25519 signature");
    }
    if (bytes.value().size() != 64) {
        return Status(StatusCode::BadSignature, path + " is not 64 bytes (" +
                                                    std::to_string(bytes.value().size()) +
                                                    ") -- not an ed25519 signature");
    }
    return std::move(bytes).value();
}

Result<std::string> VerifyDetached(const std::string& label, const std::string& content,
                                   std::string_view signature, const Ed25519PublicKey& key) {
    if (!VerifyEd25519(key, content, signature)) {
        return Status(StatusCode::BadSignature,
                      label +
                          " signature did not verify with the expected key (broken signature "
                          "or wrong role key)");
    }
    return content;
}

const KeyEntry* FindSigner(const std::vector<KeyEntry>& keys, std::string_view document,
                           std::string_view signature, bool skip_revoked, Ed25519PublicKey& key) {
    for (const KeyEntry& entry : keys) {
        if (skip_revoked && entry.revoked) continue;
        Ed25519PublicKey candidate{};
        if (!DecodeRawKeyBase64(entry.public_key, candidate)) continue;
        if (VerifyEd25519(candidate, document, signature)) {
            key = candidate;
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace patcher
