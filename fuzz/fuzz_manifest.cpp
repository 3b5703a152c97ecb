// Both parsers of the manifest, and the file lines of a shard, over the same text as the patcher
// reads it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/manifest.h"
#include "core/release_path.h"
#include "core/text.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

namespace {

// An encoded shard's lines decode their paths: whatever is accepted obeys Windows' name rules.
void ReadAsShard(const std::string& text) {
    std::vector<FileEntry> files;
    DecodedPaths decoded;
    const Status status = AppendFileLines(text, {}, files, &decoded);
    if (!status.ok()) {
        fuzz::RequireFailureShape(status);
        fuzz::Require(status.code == StatusCode::BadFormat);
    }
    for (const FileEntry& entry : files) {
        fuzz::Require(CheckReleasePath(entry.path).ok());
        fuzz::Require(entry.path.find('\\') == std::string_view::npos && entry.path.front() != '/');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadAsShard(text);
    const Result<ManifestHeader> header = ParseManifestHeader(text);
    if (!header.ok()) {
        fuzz::RequireFailureShape(header.status());
        fuzz::Require(header.status().code == StatusCode::BadFormat);
    } else {
        const ManifestHeader& h = header.value();
        for (const std::string_view field :
             {h.version, h.channel, h.counter, h.created, h.expires}) {
            fuzz::Require(!field.empty());
            fuzz::RequireInside(field, text);
        }
        fuzz::Require(IsDigits(h.counter) && IsIsoUtc(h.created) && IsIsoUtc(h.expires));
    }

    // A check that refuses the third entry, so the early stop on a check failure is exercised too.
    std::size_t checked = 0;
    const FileEntryCheck check = [&checked](const FileEntry& entry) {
        fuzz::Require(CheckManifestPath(entry.path).ok());
        if (++checked == 3) return Status(StatusCode::ContentMismatch, "third entry refused");
        return Status::Success();
    };
    const Result<std::vector<FileEntry>> files = ParseManifestFiles(text, check);
    if (!files.ok()) {
        fuzz::RequireFailureShape(files.status());
        const StatusCode code = files.status().code;
        fuzz::Require(code == StatusCode::BadFormat || code == StatusCode::ContentMismatch);
        fuzz::Require(code != StatusCode::ContentMismatch || checked == 3);
        return 0;
    }
    // Only a manifest that lists shards may have no file line of its own.
    fuzz::Require((!files.value().empty() || HasLineOfKind(text, "shard") ||
                   HasLineOfKind(text, "shard-utf8")) &&
                  files.value().size() == checked && checked < 3);
    for (const FileEntry& entry : files.value()) {
        for (const std::string_view field : {entry.path, entry.sha256, entry.url}) {
            fuzz::RequireInside(field, text);
        }
        fuzz::Require(IsLowerHex64(entry.sha256));
        // Whatever the parser accepts must stay inside the install directory.
        const std::string_view path = entry.path;
        fuzz::Require(path.front() != '/' && path != ".." && !path.starts_with("../") &&
                      !path.ends_with("/..") && path.find("/../") == std::string_view::npos);
    }
    return 0;
}
