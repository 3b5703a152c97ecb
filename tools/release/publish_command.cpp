// publish: the command line of Publish.
#include <cstdio>

#include "core/text.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/publish.h"
#include "tools/release/report.h"

namespace patcher::release {
namespace {

const CommandInfo kPublish{
    "publish",
    "publish --out DIR --game DIR --keys KEYS --key PEM --root-key BASE64 --base-url URL "
    "--version V --channel C --expires T (--counter N | --previous DIR) [--announce FILE] "
    "[--updates FILE] [--stage JPEG] [--files-url URL | --objects DIR --objects-url URL "
    "[--form-level N] [--delta-releases K] [--delta-level N]] "
    "[--shards auto|always|never] [--created T] [--now T] "
    "[--require-signed-patcher] [--ca-file PEM]",
    "Builds the release folder DIR for a static HTTPS server: keys.txt and keys.txt.sig (copied\n"
    "from KEYS, signed beforehand with `registry`), manifest.txt and its .sig (signed with PEM, a\n"
    "valid key of KEYS), the game files under files/, and announce.txt, updates.txt, stage.jpg\n"
    "with their .sig when given. Serve DIR at URL, the address the patcher is configured with.\n"
    "The release is built in a hidden folder beside DIR, checked with the patcher's Validate\n"
    "(and, with --previous, against the baseline a patcher holding the previous release has),\n"
    "and only then renamed to DIR; a refused publish leaves nothing behind. DIR must not exist.\n"
    "  --counter N        the manifest counter; with --previous it defaults to the previous + 1\n"
    "  --previous DIR     the release folder published last (checked with the root key)\n"
    "  --files-url URL    where files/ is served (default URL/files)\n"
    "  --objects DIR --objects-url URL   store the game files in DIR, the objects folder that\n"
    "                     all releases share, each under the name of its SHA-256 (ab/ab12...)\n"
    "                     and written once, never rewritten; the manifest names their URLs\n"
    "                     below URL, and the release folder gets no files/: upload the objects\n"
    "                     first, then the release's documents (see gc for old objects). A new\n"
    "                     object that zstd shrinks to at most 95 % gets its compressed form\n"
    "                     beside it (ab/ab12....zst, uploaded with it), listed in the release's\n"
    "                     forms.txt\n"
    "  --form-level N     the zstd level of those forms, 1 to 19 (default 19)\n"
    "  --delta-releases K for each file that one of the K newest releases beside DIR (by\n"
    "                     counter; default 3, 0: none) holds other bytes for, a zstd patch from\n"
    "                     that object (ab/ab12....from-<its sha256>), kept when it is smaller "
    "than\n"
    "                     the new object's form (or the object), listed in deltas.txt; no copy\n"
    "                     may be above 128 MiB\n"
    "  --delta-level N    the zstd level of those deltas, 1 to 19 (default 19)\n"
    "  --shards auto|always|never   move the file lines into shards/<sha256>.txt, each named\n"
    "                     by a shard line of the manifest with its size and SHA-256: auto\n"
    "                     (default) once the manifest would pass 512 KiB, half the patcher's\n"
    "                     1 MiB cap, or when a name is outside [A-Za-z0-9._/-] (a space, a\n"
    "                     letter outside ASCII), which only shards carry, percent-encoded;\n"
    "                     always; never (past 1 MiB, or with such a name, the release is\n"
    "                     refused). A sharded\n"
    "                     manifest keeps only Velmor2Launcher.exe's file line, the one a deployed\n"
    "                     patcher that knows no shards needs to update itself, so a game folder\n"
    "                     without it is refused. Files cut into the same shards from release to\n"
    "                     release, so an update changes only the shards whose files changed\n"
    "  --created T, --now T   fixed times for reproducible releases (default: the clock)\n"
    "  --root-key-file FILE   read the root key text from FILE instead of --root-key\n"
    "  --require-signed-patcher   refuse the release when the game folder's Velmor2Launcher.exe\n"
    "                     is missing or carries no Authenticode signature that `osslsigncode\n"
    "                     verify` accepts (see sign-exe and lint exe); without it such an exe\n"
    "                     is published with a NOTE\n"
    "  --ca-file PEM      the CA certificate(s) the patcher's signing certificate must chain to;\n"
    "                     without it its signature need only be intact and made for its bytes\n"
    "The exit code is 0, 1 for a usage error or bad input, else the patcher's status code.\n",
    {{"out"},         {"game"},       {"keys"},
     {"key"},         {"root-key"},   {"root-key-file"},
     {"base-url"},    {"files-url"},  {"objects"},
     {"objects-url"}, {"version"},    {"channel"},
     {"counter"},     {"previous"},   {"created"},
     {"expires"},     {"now"},        {"announce"},
     {"updates"},     {"stage"},      {"require-signed-patcher", false},
     {"ca-file"},     {"form-level"}, {"delta-releases"},
     {"delta-level"}, {"shards"}},
    0,
    {"out", "game", "keys", "key", "base-url", "version", "channel", "expires"},
};

bool ParseShardMode(const std::string& text, ShardMode& mode) {
    const std::pair<const char*, ShardMode> modes[] = {
        {"auto", ShardMode::Auto}, {"always", ShardMode::Always}, {"never", ShardMode::Never}};
    for (const auto& [name, value] : modes) {
        if (text != name) continue;
        mode = value;
        return true;
    }
    return false;
}

}  // namespace

int RunPublish(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kPublish, args, parsed);
    if (parse != kContinue) return parse;
    if (!parsed.Has("counter") && !parsed.Has("previous")) {
        return UsageError(kPublish, "--counter or --previous is required");
    }
    PublishOptions options;
    std::string error;
    if (!RootKeyText(parsed, options.root_key, error)) return UsageError(kPublish, error);
    options.out = parsed.Get("out");
    options.game = parsed.Get("game");
    options.keys = parsed.Get("keys");
    options.signing_key = parsed.Get("key");
    options.base_url = parsed.Get("base-url");
    options.files_url = parsed.Get("files-url");
    options.objects = parsed.Get("objects");
    options.objects_url = parsed.Get("objects-url");
    for (const auto& [name, level] : {std::pair{"form-level", &options.form_level},
                                      std::pair{"delta-level", &options.delta_level}}) {
        if (!parsed.Has(name)) continue;
        std::uint64_t value = 0;
        if (!ParseU64(parsed.Get(name), value) || value < 1 || value > kFormMaxLevel) {
            return UsageError(kPublish,
                              std::string("--") + name + " must be a zstd level from 1 to 19");
        }
        *level = static_cast<int>(value);
    }
    if (parsed.Has("delta-releases")) {
        std::uint64_t count = 0;
        if (!ParseU64(parsed.Get("delta-releases"), count) || count > 1000) {
            return UsageError(kPublish, "--delta-releases must be a number of releases, 0 to 1000");
        }
        options.delta_releases = static_cast<int>(count);
    }
    if (parsed.Has("shards") && !ParseShardMode(parsed.Get("shards"), options.shards)) {
        return UsageError(kPublish, "--shards must be auto, always or never");
    }
    options.version = parsed.Get("version");
    options.channel = parsed.Get("channel");
    options.counter = parsed.Get("counter");
    options.previous = parsed.Get("previous");
    options.created = parsed.Get("created");
    options.expires = parsed.Get("expires");
    options.now = parsed.Get("now");
    options.announce = parsed.Get("announce");
    options.updates = parsed.Get("updates");
    options.stage = parsed.Get("stage");
    options.require_signed_patcher = parsed.Has("require-signed-patcher");
    options.ca_file = parsed.Get("ca-file");

    PublishSummary summary;
    const Status status = Publish(options, summary);
    if (!status.ok()) return Fail(kPublish, status);
    PrintField("RELEASE", options.out);
    PrintField("VERSION", summary.version);
    PrintField("CHANNEL", summary.channel);
    PrintField("COUNTER", summary.counter);
    PrintField("SIGNING_KEY", summary.signing_key_id);
    PrintField("FILES", std::to_string(summary.file_count));
    PrintField("CHUNK_INDEXES", std::to_string(summary.chunk_indexes));
    PrintField("SHARDS", std::to_string(summary.shard_count));
    if (summary.into_objects) {
        PrintField("OBJECTS_ADDED", std::to_string(summary.objects.added));
        PrintField("OBJECTS_ADDED_BYTES", std::to_string(summary.objects.added_bytes));
        PrintField("OBJECTS_REUSED", std::to_string(summary.objects.reused));
        PrintField("OBJECTS_REUSED_BYTES", std::to_string(summary.objects.reused_bytes));
        PrintField("FORMS_ADDED", std::to_string(summary.objects.forms_added));
        PrintField("FORMS_ADDED_BYTES", std::to_string(summary.objects.forms_added_bytes));
        PrintField("DELTAS_ADDED", std::to_string(summary.objects.deltas_added));
        PrintField("DELTAS_ADDED_BYTES", std::to_string(summary.objects.deltas_added_bytes));
    }
    for (const std::string& name : summary.published) std::printf("  PUBLISHED %s\n", name.c_str());
    for (const std::string& note : summary.notes) PrintField("NOTE", note);
    return 0;
}

}  // namespace patcher::release
