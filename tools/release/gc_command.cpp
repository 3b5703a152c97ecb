// gc: the command line of CollectGarbage.
#include <cstdio>

#include "core/text.h"
#include "tools/release/command_line.h"
#include "tools/release/commands.h"
#include "tools/release/object_gc.h"
#include "tools/release/report.h"

namespace patcher::release {
namespace {

const CommandInfo kGc{
    "gc",
    "gc --objects DIR --releases DIR --live DIR [--keep N] [--min-age-days D] [--dry-run]",
    "Removes from the objects folder the objects (and their chunk indexes, compressed forms,\n"
    "deltas and stale partial copies) that neither the live release nor any of the N newest\n"
    "releases below --releases (by manifest counter; default 3) names, and that are at least D\n"
    "days old (default 14), so that a release being published or uploaded keeps what it has\n"
    "stored; a delta also goes with the object it is made from. A manifest that cannot be read\n"
    "stops it before anything is removed. Prints KEY: value lines and, for each entry it\n"
    "removes (with --dry-run: would remove), a REMOVED line.\n"
    "  --live DIR         the release players are served now (the folder the live link names)\n",
    {{"objects"}, {"releases"}, {"live"}, {"keep"}, {"min-age-days"}, {"dry-run", false}},
    0,
    {"objects", "releases", "live"},
};

bool ParseCount(const ParsedOptions& parsed, const char* name, std::uint64_t limit,
                std::uint64_t& value) {
    if (!parsed.Has(name)) return true;
    return ParseU64(parsed.Get(name), value) && value <= limit;
}

}  // namespace

int RunGc(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    const int parse = ParseCommandLine(kGc, args, parsed);
    if (parse != kContinue) return parse;
    GcOptions options;
    options.objects = parsed.Get("objects");
    options.releases = parsed.Get("releases");
    options.live = parsed.Get("live");
    options.dry_run = parsed.Has("dry-run");
    std::uint64_t keep = 3;
    std::uint64_t days = 14;
    if (!ParseCount(parsed, "keep", 1000000, keep) || keep == 0) {
        return UsageError(kGc, "--keep must be a whole number of releases, at least 1");
    }
    if (!ParseCount(parsed, "min-age-days", 36500, days)) {
        return UsageError(kGc, "--min-age-days must be a whole number of days");
    }
    options.keep = static_cast<int>(keep);
    options.min_age_seconds = static_cast<std::int64_t>(days) * 24 * 3600;

    GcSummary summary;
    const Status status = CollectGarbage(options, summary);
    if (!status.ok()) return Fail(kGc, status);
    for (const std::string& release : summary.releases_kept) PrintField("KEPT_RELEASE", release);
    PrintField("OBJECTS_KEPT", std::to_string(summary.objects_kept));
    PrintField("OBJECTS_YOUNG", std::to_string(summary.objects_young));
    PrintField(options.dry_run ? "OBJECTS_TO_REMOVE" : "OBJECTS_REMOVED",
               std::to_string(summary.objects_removed));
    PrintField(options.dry_run ? "BYTES_TO_REMOVE" : "BYTES_REMOVED",
               std::to_string(summary.bytes_removed));
    for (const std::string& path : summary.removed) std::printf("  REMOVED %s\n", path.c_str());
    return 0;
}

}  // namespace patcher::release
