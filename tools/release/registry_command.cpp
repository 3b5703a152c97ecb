// registry: create or update keys.txt and sign it with the root key into keys.txt.sig.
#include <cstdio>

#include "core/signature.h"
#include "core/text.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"
#include "tools/release/registry_document.h"
#include "tools/release/signing.h"

namespace patcher::release {
namespace {

const CommandInfo kRegistry{
    "registry",
    "registry FILE --key ROOT.pem [--version N] [--expires T] [--add ID=KEY]... "
    "[--revoke ID]... [--rotate OLD:NEW=KEY]... [--remove ID]... [--root-key BASE64] [--now T]",
    "Creates FILE (keys.txt) or updates it, and signs it with the root private key into FILE.sig.\n"
    "  --add ID=KEY        add a valid signing key; KEY is the 44 base64 characters or a .pub "
    "file\n"
    "  --revoke ID         mark a key revoked (compromised): manifests it signs are refused by "
    "name\n"
    "  --rotate OLD:NEW=KEY  add NEW as valid and revoke OLD (a planned change of signing key)\n"
    "  --remove ID         drop a key's lines altogether (a key retired long ago)\n"
    "  --version N         the registry counter; default 1 for a new registry, else the old one + "
    "1;\n"
    "                      it must grow, or patchers that saw the old registry refuse the new one\n"
    "  --expires T         YYYY-MM-DDTHH:MM:SSZ; required for a new registry, else kept\n"
    "  --root-key BASE64   the root public key the patcher embeds; refuses a PEM that does not "
    "match\n"
    "  --now T             the time the expiry is compared with (default: the clock)\n"
    "Operations run in the order add, rotate, revoke, remove.\n",
    {{"key"},
     {"version"},
     {"expires"},
     {"add", true, true},
     {"revoke", true, true},
     {"rotate", true, true},
     {"remove", true, true},
     {"root-key"},
     {"now"}},
    1,
    {"key"},
};

// KEY of ID=KEY: the base64 text itself, or the .pub file keygen wrote.
bool PublicKeyArgument(const std::string& value, std::string& key, std::string& error) {
    Ed25519PublicKey decoded{};
    if (DecodeRawKeyBase64(value, decoded)) {
        key = value;
        return true;
    }
    Result<std::string> file = ReadWholeFile(value, 4096);
    if (!file.ok()) {
        // Appended, not "'" + PrintableCopy(...): GCC 12 at -O3 takes the insert into that
        // temporary for an overlapping copy (-Wrestrict) and stops the operator build.
        error = std::string("'")
                    .append(PrintableCopy(value))
                    .append("' is neither a 44-character base64 key nor a .pub file");
        return false;
    }
    key = file.value();
    while (!key.empty() && (key.back() == '\n' || key.back() == '\r')) key.pop_back();
    if (!DecodeRawKeyBase64(key, decoded)) {
        error = value + " does not hold a 44-character base64 Ed25519 public key";
        return false;
    }
    return true;
}

bool SplitAssignment(const std::string& value, std::string& id, std::string& key,
                     std::string& error) {
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0) {
        error = "expected ID=KEY, got '" + PrintableCopy(value) + "'";
        return false;
    }
    id = value.substr(0, equals);
    return PublicKeyArgument(value.substr(equals + 1), key, error);
}

// Applies the edits in a fixed order; any refusal is a usage error, reported before writing.
bool ApplyEdits(const ParsedOptions& parsed, RegistryDraft& draft, std::string& error) {
    for (const std::string& value : parsed.All("add")) {
        std::string id, key;
        if (!SplitAssignment(value, id, key, error)) return false;
        const Status status = AddRegistryKey(draft, id, key);
        if (!status.ok()) return error = status.message, false;
    }
    for (const std::string& value : parsed.All("rotate")) {
        const std::size_t colon = value.find(':');
        std::string new_id, key;
        if (colon == std::string::npos || colon == 0 ||
            !SplitAssignment(value.substr(colon + 1), new_id, key, error)) {
            if (error.empty()) error = "expected OLD:NEW=KEY, got '" + PrintableCopy(value) + "'";
            return false;
        }
        const Status status = RotateRegistryKey(draft, value.substr(0, colon), new_id, key);
        if (!status.ok()) return error = status.message, false;
    }
    for (const std::string& id : parsed.All("revoke")) {
        const Status status = RevokeRegistryKey(draft, id);
        if (!status.ok()) return error = status.message, false;
    }
    for (const std::string& id : parsed.All("remove")) {
        const Status status = RemoveRegistryKey(draft, id);
        if (!status.ok()) return error = status.message, false;
    }
    return true;
}

// The new version: given (and above the old one) or the old one + 1, or 1 for a new registry.
bool ChooseVersion(const ParsedOptions& parsed, const std::string& old_version,
                   std::string& version, std::string& error) {
    std::uint64_t old_value = 0;
    const bool had_old = !old_version.empty();
    if (had_old && !ParseU64(old_version, old_value)) {
        error = "the existing registry's version " + old_version + " is not a usable integer";
        return false;
    }
    if (!parsed.Has("version")) {
        if (had_old && old_value == UINT64_MAX) {
            error = "the existing registry's version cannot grow any further";
            return false;
        }
        version = std::to_string(had_old ? old_value + 1 : 1);
        return true;
    }
    std::uint64_t value = 0;
    version = parsed.Get("version");
    if (!ParseU64(version, value)) {
        error = "--version must be a decimal number below 2^64";
        return false;
    }
    if (had_old && value <= old_value) {
        error = "--version " + version + " does not grow past the existing registry's version " +
                old_version + " (patchers that saw it would refuse the new registry)";
        return false;
    }
    return true;
}

}  // namespace

int RunRegistry(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kRegistry, args, parsed);
    if (parse != kContinue) return parse;
    const std::string path = parsed.positionals()[0];
    const std::string now = NowOrClock(parsed);
    if (!IsIsoUtc(now)) return UsageError(kRegistry, "--now must be YYYY-MM-DDTHH:MM:SSZ");

    RegistryDraft draft;
    const bool updating = PathExists(path);
    if (updating) {
        Result<std::string> text = ReadTextFile(path, "key registry");
        if (!text.ok()) return Fail(kRegistry, text.status());
        Result<RegistryDraft> existing = ParseRegistryDraft(text.value());
        if (!existing.ok()) return Fail(kRegistry, existing.status());
        draft = std::move(existing).value();
    } else if (!parsed.Has("expires")) {
        return UsageError(kRegistry, "--expires is required for a new registry");
    }

    std::string error;
    std::string version;
    if (!ChooseVersion(parsed, draft.version, version, error)) return UsageError(kRegistry, error);
    draft.version = version;
    if (parsed.Has("expires")) draft.expires = parsed.Get("expires");
    if (!IsIsoUtc(draft.expires))
        return UsageError(kRegistry, "--expires must be YYYY-MM-DDTHH:MM:SSZ");
    if (IsAtOrAfter(now, draft.expires)) {
        return UsageError(kRegistry, "the registry would expire at " + draft.expires +
                                         ", not after now (" + now + ")");
    }
    if (!ApplyEdits(parsed, draft, error)) return UsageError(kRegistry, error);
    Result<std::string> text = RenderRegistry(draft);
    if (!text.ok()) return UsageError(kRegistry, text.status().message);

    Result<SigningKey> root = SigningKey::LoadPem(parsed.Get("key"));
    if (!root.ok()) return Fail(kRegistry, root.status());
    if (parsed.Has("root-key")) {
        Result<Ed25519PublicKey> expected = ParseRootKey(parsed.Get("root-key"));
        if (!expected.ok()) return UsageError(kRegistry, expected.status().message);
        if (expected.value() != root.value().public_key()) {
            return UsageError(kRegistry,
                              parsed.Get("key") + " is not the private half of --root-key");
        }
    }
    bool revoked = false;
    if (!FindRegistryKey(draft, EncodeKeyBase64(root.value().public_key()), revoked).empty()) {
        return UsageError(kRegistry, "the root key must not be listed as a signing key");
    }
    Result<std::string> signature = root.value().Sign(text.value());
    if (!signature.ok()) return Fail(kRegistry, signature.status());

    // The document first, then its signature: each rename is atomic on its own.
    Status status = WriteFileReplacing(path, text.value());
    if (status.ok()) status = WriteFileReplacing(path + ".sig", signature.value());
    if (!status.ok()) return Fail(kRegistry, status);

    std::printf("REGISTRY: %s\nVERSION: %s\nEXPIRES: %s\n", path.c_str(), draft.version.c_str(),
                draft.expires.c_str());
    for (const RegistryKeyLine& line : draft.keys) {
        std::printf("  KEY %s %s %s\n", line.id.c_str(), line.revoked ? "revoked" : "valid",
                    line.public_key.c_str());
    }
    std::printf("SIGNED_BY_ROOT: %s\n", EncodeKeyBase64(root.value().public_key()).c_str());
    return 0;
}

}  // namespace patcher::release
