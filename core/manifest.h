// The manifest: one signed release, its header and every file of the installation.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher {

// Records hold views, not copies, into the manifest text they were parsed from, so a release of
// thousands of files costs no allocation per field. The parsers take that text as
// `const std::string&` and refuse temporaries at compile time: the buffer a record borrows from is
// always a named string at the call site, and it must stay alive and unmoved (a moved std::string
// may carry short contents along to a new address) while the records are used. Anything that keeps
// an entry beyond that copies its fields into strings.
struct ManifestHeader {
    std::string_view version;  // N.N.N, digits only
    std::string_view channel;  // [a-z][a-z0-9-]*
    std::string_view counter;  // decimal digits; a number only when compared for rollback
    std::string_view created;  // fixed-width UTC timestamps
    std::string_view expires;
};

struct FileEntry {
    std::string_view path;   // relative, "/"-separated, safe to write on Windows
    std::uint64_t size = 0;  // bytes
    std::string_view sha256;
    std::string_view url;
};

// Called for each good entry before the next line is read; a failure ends the parse unchanged.
using FileEntryCheck = std::function<Status(const FileEntry&)>;

Result<ManifestHeader> ParseManifestHeader(const std::string& manifest_text);
Result<ManifestHeader> ParseManifestHeader(std::string&&) = delete;

// A manifest that lists shards may hold no `file` line of its own.
Result<std::vector<FileEntry>> ParseManifestFiles(const std::string& manifest_text,
                                                  const FileEntryCheck& check = {});
Result<std::vector<FileEntry>> ParseManifestFiles(std::string&&,
                                                  const FileEntryCheck& = {}) = delete;

// Paths decoded from shard lines, each on the heap so that moving the list moves no byte an entry
// views.
using DecodedPaths = std::vector<std::unique_ptr<const std::string>>;

// The `file` lines of a manifest or a shard appended to `files`, with the rules and `check` of
// ParseManifestFiles; the first failure ends it. Given `decoded`, the text is a `shard-utf8`
// shard's: a path may percent-encode bytes outside the manifest's set and is judged, decoded, by
// Windows' name rules (core/release_path.h); the decoded paths that differ from their field are
// kept there.
Status AppendFileLines(const std::string& text, const FileEntryCheck& check,
                       std::vector<FileEntry>& files, DecodedPaths* decoded = nullptr);
Status AppendFileLines(std::string&&, const FileEntryCheck&, std::vector<FileEntry>&,
                       DecodedPaths* = nullptr) = delete;

// A line of the text whose first field is `kind` ("shard", "file").
bool HasLineOfKind(std::string_view text, std::string_view kind);

// The four path rules of a `file` line, in order; the failure names the path.
Status CheckManifestPath(std::string_view path);

// A name Win32 opens as a device whatever extension follows: trailing dots and spaces are dropped,
// and what stands before the first dot is CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 or
// LPT1-LPT9 in any ASCII letter case (con, Nul.txt,
// aux.tar.gz, com1.log; not com10 or console). The one rule for manifest paths and for the game
// executable the settings file names.
bool IsReservedDeviceName(std::string_view name);

}  // namespace patcher
