// sign-exe: an Authenticode signature on the patcher exe, made before publish puts its SHA-256
// into the manifest.
#include <cstdio>

#include "tools/release/authenticode.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"

namespace patcher::release {
namespace {

const CommandInfo kSignExe{
    "sign-exe",
    "sign-exe EXE (--pkcs12 FILE | --cert PEM --key PEM) [--password-file FILE] "
    "[--timestamp-url URL] [--description TEXT] [--out FILE]",
    "Signs the Windows program EXE with Authenticode (SHA-256) through osslsigncode, so that\n"
    "Windows shows the publisher and SmartScreen can build a reputation for it. Sign the\n"
    "patcher in the game folder before `publish`: the manifest then names the signed bytes, and\n"
    "publish --require-signed-patcher refuses an unsigned one. The patcher itself trusts only\n"
    "its Ed25519 root; this signature is for Windows.\n"
    "  --pkcs12 FILE         a PKCS#12 file with the code-signing certificate, its chain and key\n"
    "  --cert PEM --key PEM  the certificate (chain) and the private key as PEM instead\n"
    "  --password-file FILE  the key's password, on the file's first line\n"
    "  --timestamp-url URL   an RFC 3161 time-stamp authority, so the signature stays valid\n"
    "                        after the certificate expires\n"
    "  --description TEXT    the program's name in Windows' consent dialogs\n"
    "  --out FILE            write the signed exe to FILE (must not exist) instead of replacing\n"
    "                        EXE; a failure leaves EXE as it was\n"
    "The exit code is 0, 1 for a usage error or a failed signing, 6 when EXE is no PE file.\n",
    {{"pkcs12"}, {"cert"}, {"key"}, {"password-file"}, {"timestamp-url"}, {"description"}, {"out"}},
    1,
    {},
};

}  // namespace

int RunSignExe(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kSignExe, args, parsed);
    if (parse != kContinue) return parse;
    const bool pkcs12 = parsed.Has("pkcs12");
    const bool pem = parsed.Has("cert") || parsed.Has("key");
    if (pkcs12 == pem) return UsageError(kSignExe, "give --pkcs12 or --cert and --key");
    if (pem && !(parsed.Has("cert") && parsed.Has("key"))) {
        return UsageError(kSignExe, "--cert and --key go together");
    }
    SignExeOptions options;
    options.exe = parsed.positionals()[0];
    options.out = parsed.Get("out");
    options.pkcs12 = parsed.Get("pkcs12");
    options.certificate = parsed.Get("cert");
    options.key = parsed.Get("key");
    options.password_file = parsed.Get("password-file");
    options.timestamp_url = parsed.Get("timestamp-url");
    options.description = parsed.Get("description");
    const Status status = SignExe(options);
    if (!status.ok()) return Fail(kSignExe, status);
    std::printf("SIGNED: %s\n", (options.out.empty() ? options.exe : options.out).c_str());
    return 0;
}

}  // namespace patcher::release
