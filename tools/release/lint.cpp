// lint: one document through the core's parsers exactly as the patcher parses it, without any
// signature (validate checks those).
#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/key_registry.h"
#include "core/manifest.h"
#include "core/news_document.h"
#include "core/release_shards.h"
#include "core/text.h"
#include "tools/release/authenticode.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/file_io.h"
#include "tools/release/game_tree.h"
#include "tools/release/manifest_shards.h"
#include "tools/release/report.h"

namespace patcher::release {
namespace {

const CommandInfo kLint{
    "lint",
    "lint keys|manifest|news|exe|chunks FILE [--ca-file PEM] [--shards DIR]",
    "Parses FILE as the patcher does (line rules, header, key or file lines; for news the news\n"
    "format and its caps) and prints what it found as KEY: value lines. A manifest is also\n"
    "refused when two of its paths would be one file on Windows; one that lists shards is read\n"
    "with them, from the shards folder beside FILE, each held to its line, and FILES, BYTES and\n"
    "that check cover the manifest's files and every shard's (SHARDS counts them). For exe, FILE "
    "is the patcher\n"
    "exe, which must carry an Authenticode signature (sign-exe) that `osslsigncode verify`\n"
    "accepts: AUTHENTICODE is signed, unsigned, or invalid when a signature is there but does\n"
    "not verify (changed after signing, or not issued by the CA). For chunks, FILE is a served\n"
    "game file, whose FILE.chunks must be the chunk index its bytes give.\n"
    "  --shards DIR    manifest only: read the shards from DIR instead\n"
    "  --ca-file PEM   exe only: the CA certificate(s) the signing certificate must chain to;\n"
    "                  without it the signature need only be intact and made for FILE, its\n"
    "                  chain ending in a certificate it carries or one of the system's CAs\n"
    "The exit code is the status code (0 clean, 2 an exe without a signature that verifies, 6 bad\n"
    "format, 1 unreadable).\n",
    {{"ca-file"}, {"shards"}},
    2,
    {},
};

// Arbitrary documents are read whole only up to this size; the parsers' own caps are far lower.
constexpr std::uint64_t kLintReadLimit = 64ull << 20;

using Fields = std::vector<std::pair<std::string, std::string>>;

Status LintKeys(const std::string& path, Fields& fields) {
    Result<std::string> text = ReadTextFile(path, "key registry");
    if (!text.ok()) return text.status();
    Status status = CheckTextFormat(text.value(), "key registry");
    if (!status.ok()) return status;
    Result<KeyRegistryHeader> header = ParseKeyRegistryHeader(text.value());
    if (!header.ok()) return header.status();
    fields.emplace_back("VERSION", std::string(header.value().version));
    fields.emplace_back("EXPIRES", std::string(header.value().expires));
    Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text.value());
    if (!keys.ok()) return keys.status();
    fields.emplace_back("KEYS", std::to_string(keys.value().size()));
    for (const KeyEntry& key : keys.value()) {
        fields.emplace_back("  KEY", std::string(key.id) + (key.revoked ? " revoked " : " valid ") +
                                         std::string(key.public_key));
    }
    return Status::Success();
}

Status LintManifest(const std::string& path, const std::string& shards, Fields& fields) {
    Result<std::string> text = ReadTextFile(path, "manifest");
    if (!text.ok()) return text.status();
    Status status = CheckTextFormat(text.value(), "manifest");
    if (!status.ok()) return status;
    Result<ManifestHeader> header = ParseManifestHeader(text.value());
    if (!header.ok()) return header.status();
    fields.emplace_back("VERSION", std::string(header.value().version));
    fields.emplace_back("CHANNEL", std::string(header.value().channel));
    fields.emplace_back("COUNTER", std::string(header.value().counter));
    fields.emplace_back("CREATED", std::string(header.value().created));
    fields.emplace_back("EXPIRES", std::string(header.value().expires));
    ReleaseFiles release;
    status = LoadReleaseFiles(text.value(), ShardsInFolder(shards), {}, release);
    if (!status.ok()) return status;
    std::vector<std::string> paths;
    // The sum cannot overflow: LoadReleaseFiles caps it at 1 TiB.
    std::uint64_t bytes = 0;
    for (const FileEntry& file : release.files) {
        paths.emplace_back(file.path);
        bytes += file.size;
    }
    fields.emplace_back("FILES", std::to_string(paths.size()));
    fields.emplace_back("BYTES", std::to_string(bytes));
    fields.emplace_back("SHARDS", std::to_string(release.shard_count));
    std::sort(paths.begin(), paths.end());
    return CheckWindowsCollisions(paths);
}

Status LintNews(const std::string& path, Fields& fields) {
    Result<std::string> bytes = ReadWholeFile(path, kLintReadLimit);
    if (!bytes.ok()) return bytes.status();
    Result<NewsDocument> document = ParseNewsDocument(bytes.value());
    if (!document.ok()) return document.status();
    fields.emplace_back("ITEMS", std::to_string(document.value().items.size()));
    fields.emplace_back("TRUNCATED", document.value().truncated ? "yes" : "no");
    int number = 0;
    for (const NewsItem& item : document.value().items) {
        ++number;
        fields.emplace_back("  ITEM", std::to_string(number) + " " +
                                          (item.date.empty() ? "-" : item.date) + " " + item.title);
    }
    return Status::Success();
}

Status LintExe(const std::string& path, const std::string& ca_file, Fields& fields) {
    Result<std::string> bytes = ReadWholeFile(path, kLintReadLimit);
    if (!bytes.ok()) return bytes.status();
    Result<PeSignature> signature = VerifyExeSignature(path, bytes.value(), ca_file);
    if (signature.status().code == StatusCode::BadSignature) {
        fields.emplace_back("AUTHENTICODE", "invalid");
        return Status(StatusCode::BadSignature, path + ": " + signature.status().message);
    }
    if (!signature.ok()) return signature.status();
    const bool is_signed = signature.value() == PeSignature::Signed;
    fields.emplace_back("AUTHENTICODE", is_signed ? "signed" : "unsigned");
    if (is_signed) return Status::Success();
    return Status(StatusCode::BadSignature,
                  path +
                      " carries no Authenticode signature: Windows treats it as a program "
                      "from an unknown publisher (sign it with sign-exe)");
}

Status LintChunks(const std::string& path, Fields& fields) {
    const Status status = CheckChunkIndex(path);
    if (status.ok()) fields.emplace_back("CHUNK_INDEX", "matches");
    return status;
}

}  // namespace

int RunLint(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kLint, args, parsed);
    if (parse != kContinue) return parse;
    const std::string& kind = parsed.positionals()[0];
    const std::string& path = parsed.positionals()[1];
    if (parsed.Has("ca-file") && kind != "exe") {
        return UsageError(kLint, "--ca-file applies to lint exe only");
    }
    if (parsed.Has("shards") && kind != "manifest") {
        return UsageError(kLint, "--shards applies to lint manifest only");
    }
    Fields fields;
    Status status;
    if (kind == "keys") {
        status = LintKeys(path, fields);
    } else if (kind == "manifest") {
        status = LintManifest(
            path, parsed.Has("shards") ? parsed.Get("shards") : ShardsBeside(path), fields);
    } else if (kind == "news") {
        status = LintNews(path, fields);
    } else if (kind == "exe") {
        status = LintExe(path, parsed.Get("ca-file"), fields);
    } else if (kind == "chunks") {
        status = LintChunks(path, fields);
    } else {
        return UsageError(
            kLint, "the kind must be keys, manifest, news, exe or chunks, not '" + kind + "'");
    }
    PrintField("CODE", std::to_string(static_cast<int>(status.code)));
    for (const auto& [key, value] : fields) {
        if (key.front() == ' ') {
            std::printf("%s %s\n", key.c_str(), value.c_str());
        } else {
            PrintField(key, value);
        }
    }
    if (!status.ok()) PrintField("MESSAGE", status.message);
    return static_cast<int>(status.code);
}

}  // namespace patcher::release
