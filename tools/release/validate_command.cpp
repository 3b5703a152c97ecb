// validate: the patcher's own acceptance of a key registry and manifest, run by the operator.
#include "core/validate.h"

#include "core/binary_delta.h"
#include "core/compressed_form.h"
#include "core/manifest.h"
#include "core/release_shards.h"
#include "core/text.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/file_io.h"
#include "tools/release/manifest_shards.h"
#include "tools/release/object_store.h"

#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/report.h"

namespace patcher::release {
namespace {

const CommandInfo kValidate{
    "validate",
    "validate --manifest M --keys K --root-key BASE64 [--state S] [--dist D] [--objects O] "
    "[--shards DIR] [--now T] "
    "[--expect-version V] [--level full|quick|size] [--critical PATH]...",
    "Runs the patcher's Validate: the registry against the root key, the manifest against the\n"
    "registry, line rules, expiry, rollback against the state file S (which it then advances, as\n"
    "the patcher does; leave it out for a dry check) and, with --dist D, every file in D. With D\n"
    "it also lists what an install in D would download (--level and --critical choose how deep)\n"
    "and checks the chunk index beside every file of 1 MiB or more (a missing one is a note).\n"
    "With --objects O, every object the manifest names must be in the objects folder O with its\n"
    "size and SHA-256, and a large one with its chunk index (CODE 7 names the first that is not),\n"
    "and every compressed form that forms.txt beside M lists must be there with its size and\n"
    "decode, as the patcher decodes it, to its object; so must every delta that deltas.txt\n"
    "lists, given the object it is made from.\n"
    "When the manifest lists shards, each is read from DIR (default: the shards folder beside M)\n"
    "and held to its line, and FILES and the --dist and --objects checks cover the files of the\n"
    "manifest and of every shard.\n"
    "Prints KEY: value lines; the exit code is the status code (0 accepted).\n"
    "  --root-key-file FILE  read the root key text from FILE instead of --root-key\n",
    {{"manifest"},
     {"keys"},
     {"root-key"},
     {"root-key-file"},
     {"state"},
     {"dist"},
     {"objects"},
     {"shards"},
     {"now"},
     {"expect-version"},
     {"level"},
     {"critical", true, true}},
    0,
    {},
};

bool ParseLevel(const std::string& text, CheckLevel& level) {
    if (text == "full")
        level = CheckLevel::Full;
    else if (text == "quick")
        level = CheckLevel::Quick;
    else if (text == "size")
        level = CheckLevel::Size;
    else
        return false;
    return true;
}

// Each large file's index must be the one its bytes give; a release without indexes still works.
Status CheckChunkIndexes(const std::string& dist, const std::vector<FileEntry>& files,
                         ValidateReport& report) {
    for (const FileEntry& file : files) {
        if (!WantsChunkIndex(file.size)) continue;
        const Status status = CheckChunkIndex(dist + "/" + std::string(file.path));
        if (status.code == StatusCode::BadInput) {
            report.notes.push_back(status.message + ": players fetch the whole file");
        } else if (!status.ok()) {
            return status;
        }
    }
    return Status::Success();
}

// What a list beside the manifest names: a release without it (published before there were such
// lists) has none to check.
template <typename Check>
Result<int> CheckList(const char* name, std::uint64_t cap, const std::string& manifest_path,
                      const Check& check) {
    const std::string list = ParentDirectory(manifest_path) + "/" + name;
    if (!PathExists(list)) return 0;
    Result<std::string> text = ReadWholeFile(list, cap);
    if (!text.ok()) return text.status();
    return check(text.value());
}

}  // namespace

int RunValidate(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kValidate, args, parsed);
    if (parse != kContinue) return parse;
    ValidateOptions options;
    options.manifest_path = parsed.Get("manifest");
    options.keys_path = parsed.Get("keys");
    if (parsed.Has("root-key") || parsed.Has("root-key-file")) {
        std::string error;
        if (!RootKeyText(parsed, options.root_key, error)) return UsageError(kValidate, error);
    }
    options.load_shard = ShardsInFolder(parsed.Has("shards") ? parsed.Get("shards")
                                                             : ShardsBeside(options.manifest_path));
    options.state_path = parsed.Get("state");
    options.dist = parsed.Get("dist");
    options.now = parsed.Get("now");
    options.expect_version = parsed.Get("expect-version");
    options.with_diff = !options.dist.empty();
    if (parsed.Has("level") && !ParseLevel(parsed.Get("level"), options.level)) {
        return UsageError(kValidate, "--level must be full, quick or size");
    }
    options.critical_paths = parsed.All("critical");

    // Missing options and a bad --now are the core's to report, in its own words and code.
    ValidateReport report;
    Status status = Validate(options, report);
    const bool with_objects = parsed.Has("objects");
    Result<int> objects_checked = 0, forms_checked = 0, deltas_checked = 0;
    if (status.ok() && (options.with_diff || with_objects)) {
        // What Validate accepted, read once more for the checks beside it.
        Result<std::string> manifest = ReadTextFile(options.manifest_path, "manifest");
        status = manifest.status();
        ReleaseFiles release;
        if (status.ok())
            status = LoadReleaseFiles(manifest.value(), options.load_shard, {}, release);
        if (status.ok() && options.with_diff) {
            status = CheckChunkIndexes(options.dist, release.files, report);
        }
        if (status.ok() && with_objects) {
            objects_checked =
                CheckManifestObjects(parsed.Get("objects"), release.files, report.notes);
            status = objects_checked.status();
        }
        const std::string objects = parsed.Get("objects");
        if (status.ok() && with_objects) {
            forms_checked = CheckList(kFormListName, kFormListCapBytes, options.manifest_path,
                                      [&](const std::string& list) {
                                          return CheckListedForms(objects, release.files, list);
                                      });
            status = forms_checked.status();
        }
        if (status.ok() && with_objects) {
            deltas_checked =
                CheckList(kDeltaListName, kDeltaListCapBytes, options.manifest_path,
                          [&](const std::string& list) {
                              return CheckListedDeltas(objects, release.files, list, report.notes);
                          });
            status = deltas_checked.status();
        }
    }
    PrintValidateReport(report, status);
    if (with_objects && status.ok()) {
        PrintField("OBJECTS_CHECKED", std::to_string(objects_checked.value()));
        PrintField("FORMS_CHECKED", std::to_string(forms_checked.value()));
        PrintField("DELTAS_CHECKED", std::to_string(deltas_checked.value()));
    }
    return static_cast<int>(status.code);
}

}  // namespace patcher::release
