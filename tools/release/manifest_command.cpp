// manifest: manifest.txt for a folder of game files, optionally signed with a registry key.
#include <cstdio>

#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"
#include "tools/release/manifest_document.h"
#include "tools/release/signing.h"

namespace patcher::release {
namespace {

const CommandInfo kManifest{
    "manifest",
    "manifest DIR --base-url URL --version V --channel C --counter N --expires T [--created T] "
    "[--now T] [--out FILE [--key PEM]]",
    "Walks DIR and writes the manifest: the header, then one line per file in byte-wise path\n"
    "order with its size, SHA-256 and the address UrlJoin(URL, path). Refuses symbolic links,\n"
    "special files and any path the patcher would refuse, naming the path and the rule.\n"
    "  --created T   default: --now, else the clock\n"
    "  --out FILE    write FILE instead of standard output; with --key PEM also FILE.sig, signed\n"
    "                with that registry key\n",
    {{"base-url"},
     {"version"},
     {"channel"},
     {"counter"},
     {"expires"},
     {"created"},
     {"now"},
     {"out"},
     {"key"}},
    1,
    {"base-url", "version", "channel", "counter", "expires"},
};

}  // namespace

int RunManifest(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kManifest, args, parsed);
    if (parse != kContinue) return parse;
    if (parsed.Has("key") && !parsed.Has("out")) {
        return UsageError(kManifest, "--key needs --out (the signature goes beside that file)");
    }
    const std::string now = NowOrClock(parsed);
    ManifestValues values{
        parsed.Get("version"), parsed.Get("channel"),
        parsed.Get("counter"), parsed.Has("created") ? parsed.Get("created") : now,
        parsed.Get("expires"), parsed.Get("base-url")};
    const Status checked = CheckManifestValues(values, now);
    if (!checked.ok()) return UsageError(kManifest, checked.message);

    Result<SigningKey> key = Status(StatusCode::BadInput, "no key");
    if (parsed.Has("key")) {
        key = SigningKey::LoadPem(parsed.Get("key"));
        if (!key.ok()) return Fail(kManifest, key.status());
    }
    Result<std::vector<GameFile>> tree = WalkGameTree(parsed.positionals()[0]);
    if (!tree.ok()) return Fail(kManifest, tree.status());
    Result<std::vector<ManifestFile>> files = DescribeFiles(tree.value());
    if (!files.ok()) return Fail(kManifest, files.status());
    Result<std::string> text = RenderManifest(values, files.value());
    if (!text.ok()) return Fail(kManifest, text.status());

    if (!parsed.Has("out")) {
        std::fwrite(text.value().data(), 1, text.value().size(), stdout);
        return 0;
    }
    const std::string out = parsed.Get("out");
    std::string signature;
    if (key.ok()) {
        Result<std::string> signed_text = key.value().Sign(text.value());
        if (!signed_text.ok()) return Fail(kManifest, signed_text.status());
        signature = signed_text.value();
    }
    Status status = WriteFileReplacing(out, text.value());
    if (status.ok() && key.ok()) status = WriteFileReplacing(out + ".sig", signature);
    if (!status.ok()) return Fail(kManifest, status);
    std::printf("MANIFEST: %s\nFILES: %zu\n", out.c_str(), files.value().size());
    if (key.ok()) {
        std::printf("SIGNED_BY: %s\n", EncodeKeyBase64(key.value().public_key()).c_str());
    }
    return 0;
}

}  // namespace patcher::release
