// sign: a detached 64-byte signature beside any file (news documents, the stage picture, ...).
#include <cstdio>
#include <limits>

#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"
#include "tools/release/signing.h"

namespace patcher::release {
namespace {

const CommandInfo kSign{
    "sign",
    "sign FILE --key PEM",
    "Writes FILE.sig: the 64 raw bytes of the Ed25519 signature of FILE's exact bytes, made with\n"
    "the private key in PEM and checked with the patcher's own verifier before it is written.\n"
    "An existing FILE.sig is replaced.\n",
    {{"key"}},
    1,
    {"key"},
};

}  // namespace

int RunSign(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kSign, args, parsed);
    if (parse != kContinue) return parse;
    const std::string file = parsed.positionals()[0];

    Result<std::string> content = ReadWholeFile(file, std::numeric_limits<std::uint64_t>::max());
    if (!content.ok()) return Fail(kSign, content.status());
    Result<SigningKey> key = SigningKey::LoadPem(parsed.Get("key"));
    if (!key.ok()) return Fail(kSign, key.status());
    Result<std::string> signature = key.value().Sign(content.value());
    if (!signature.ok()) return Fail(kSign, signature.status());
    const Status status = WriteFileReplacing(file + ".sig", signature.value());
    if (!status.ok()) return Fail(kSign, status);
    std::printf("SIGNATURE: %s.sig\nPUBLIC_KEY: %s\n", file.c_str(),
                EncodeKeyBase64(key.value().public_key()).c_str());
    return 0;
}

}  // namespace patcher::release
