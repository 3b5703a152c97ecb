// keygen: a new Ed25519 key pair, the private half readable by its owner only.
#include <unistd.h>

#include <cstdio>

#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"
#include "tools/release/signing.h"

namespace patcher::release {
namespace {

const CommandInfo kKeygen{
    "keygen",
    "keygen --out PREFIX",
    "Writes PREFIX.pem, the private key (PKCS#8 PEM, mode 0600), and PREFIX.pub, the public key "
    "as\n"
    "its 44 base64 characters and a line feed (the form keys.txt and the root key use).\n"
    "Refuses to run when either file exists: a key is never overwritten.\n",
    {{"out"}},
    0,
    {"out"},
};

}  // namespace

int RunKeygen(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kKeygen, args, parsed);
    if (parse != kContinue) return parse;
    const std::string pem_path = parsed.Get("out") + ".pem";
    const std::string pub_path = parsed.Get("out") + ".pub";
    for (const std::string& path : {pem_path, pub_path}) {
        if (PathExists(path))
            return UsageError(kKeygen, path + " exists; refusing to overwrite a key");
    }

    Result<SigningKey> key = SigningKey::Generate();
    if (!key.ok()) return Fail(kKeygen, key.status());
    Result<std::string> pem = key.value().PemText();
    if (!pem.ok()) return Fail(kKeygen, pem.status());
    Status status = WriteNewFile(pem_path, pem.value(), 0600);
    WipeString(pem.value());
    if (!status.ok()) return Fail(kKeygen, status);

    const std::string public_text = EncodeKeyBase64(key.value().public_key());
    status = WriteNewFile(pub_path, public_text + "\n", 0644);
    if (!status.ok()) {
        // A private key without its public half is of no use and would block the next attempt.
        ::unlink(pem_path.c_str());
        return Fail(kKeygen, status);
    }
    std::printf("PRIVATE_KEY: %s\nPUBLIC_KEY_FILE: %s\nPUBLIC_KEY: %s\n", pem_path.c_str(),
                pub_path.c_str(), public_text.c_str());
    return 0;
}

}  // namespace patcher::release
