// verify: one detached signature against one public key, with the patcher's own check.
#include <cstdio>
#include <limits>

#include "core/signature.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

const CommandInfo kVerify{
    "verify",
    "verify FILE --public-key BASE64",
    "Checks FILE.sig against the bytes of FILE (any size, an empty file included) and the public\n"
    "key given as its 44 base64 characters. Exit 0 when it verifies, 2 when it does not (or the\n"
    ".sig is missing or malformed), 1 for a usage error or an unreadable FILE.\n",
    {{"public-key"}},
    1,
    {"public-key"},
};

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kVerify, args, parsed);
    if (parse != kContinue) return parse;
    const std::string file = parsed.positionals()[0];
    Ed25519PublicKey key{};
    if (!DecodeRawKeyBase64(parsed.Get("public-key"), key)) {
        return UsageError(kVerify, "--public-key is not the 44-character base64 of an Ed25519 key");
    }
    Result<std::string> content = ReadWholeFile(file, std::numeric_limits<std::uint64_t>::max());
    if (!content.ok()) return Fail(kVerify, content.status());
    Result<std::string> signature = LoadSignature(file);
    Status status = signature.status();
    if (signature.ok())
        status = VerifyDetached(file, content.value(), signature.value(), key).status();
    if (!status.ok()) {
        std::printf("FAILED: %s\n", status.message.c_str());
        return static_cast<int>(status.code);
    }
    std::printf("VERIFIED: %s.sig verifies with the given key\n", file.c_str());
    return 0;
}

}  // namespace patcher::release
