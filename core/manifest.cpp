#include "core/manifest.h"

#include <algorithm>
#include <array>

#include "core/release_path.h"
#include "core/release_shards.h"
#include "core/text.h"

namespace patcher {
namespace {

Status BadFormat(std::string message) {
    return Status(StatusCode::BadFormat, std::move(message));
}

bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsChannel(std::string_view channel) {
    if (channel.empty() || !IsLower(channel.front())) return false;
    for (const char c : channel) {
        if (!IsLower(c) && !IsDigit(c) && c != '-') return false;
    }
    return true;
}

// Three non-empty runs of digits joined by "."; no pre-release or build suffix.
bool IsReleaseVersion(std::string_view version) {
    int runs = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        const std::string_view run = version.substr(start, dot - start);
        if (!IsDigits(run)) return false;
        ++runs;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return runs == 3;
}

bool HasParentSegment(std::string_view path) {
    return path == ".." || path.starts_with("../") || path.ends_with("/..") ||
           path.find("/../") != std::string_view::npos;
}

std::string_view TrimEnd(std::string_view text, std::string_view blanks) {
    const std::size_t last_kept = text.find_last_not_of(blanks);
    return last_kept == std::string_view::npos ? std::string_view() : text.substr(0, last_kept + 1);
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (IsLower(c)) c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// Win32 strips a trailing "." from a name, so "a." would land on "a".
bool HasUnsafeSegment(std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, slash - start);
        if (!segment.empty() && (segment.back() == '.' || IsReservedDeviceName(segment))) {
            return true;
        }
        start = slash + 1;
    }
    return false;
}

// A shard line's path field, decoded in place of the view when it holds an escape.
Status ReadShardPath(std::string_view& path, DecodedPaths& decoded) {
    std::string plain;
    Status status = DecodeShardPath(path, plain);
    if (status.ok()) status = CheckReleasePath(plain);
    if (!status.ok() || plain == path) return status;
    decoded.push_back(std::make_unique<const std::string>(std::move(plain)));
    path = *decoded.back();
    return status;
}

}  // namespace

bool HasLineOfKind(std::string_view text, std::string_view kind) {
    for (const std::string_view line : SplitLines(text)) {
        if (line.substr(0, line.find(' ')) == kind) return true;
    }
    return false;
}

Status CheckManifestPath(std::string_view path) {
    if (path.empty() || NeedsShardEncoding(path)) {
        return BadFormat("path outside the allowed character set ([A-Za-z0-9._/-]): " +
                         PrintableCopy(path));
    }
    // From here on the path is known to be printable and is quoted as it stands.
    const std::string quoted(path);
    if (path.front() == '/') {
        return BadFormat("path starts with '/' (absolute paths are forbidden): " + quoted);
    }
    if (HasParentSegment(path)) {
        return BadFormat("path contains '..' (write outside the install directory): " + quoted);
    }
    if (HasUnsafeSegment(path)) {
        return BadFormat(
            "path contains a name Windows reserves for a device, or a segment Win32 would "
            "silently rename: " +
            quoted);
    }
    return Status::Success();
}

Result<ManifestHeader> ParseManifestHeader(const std::string& manifest_text) {
    ManifestHeader header;
    header.version = FindHeaderField(manifest_text, "version");
    header.channel = FindHeaderField(manifest_text, "channel");
    header.counter = FindHeaderField(manifest_text, "counter");
    header.created = FindHeaderField(manifest_text, "created");
    header.expires = FindHeaderField(manifest_text, "expires");
    if (!IsChannel(header.channel)) {
        return BadFormat("manifest 'channel' field is missing or malformed: " +
                         PrintableCopy(header.channel));
    }
    if (!IsReleaseVersion(header.version)) {
        return BadFormat("manifest 'version' field is not SemVer: " +
                         PrintableCopy(header.version));
    }
    if (!IsDigits(header.counter)) {
        return BadFormat("manifest 'counter' field is missing or not an integer");
    }
    for (const std::string_view time : {header.expires, header.created}) {
        if (!IsIsoUtc(time)) {
            return BadFormat("manifest time field is not fixed-width ISO8601-UTC: " +
                             PrintableCopy(time));
        }
    }
    return header;
}

Status AppendFileLines(const std::string& text, const FileEntryCheck& check,
                       std::vector<FileEntry>& files, DecodedPaths* decoded) {
    for (const std::string_view line : SplitLines(text)) {
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields[0] != "file") continue;
        if (fields.size() != 5) {
            return BadFormat("file line does not have 5 fields (" + std::to_string(fields.size()) +
                             "): " + PrintableCopy(line));
        }
        FileEntry entry{fields[1], 0, fields[3], fields[4]};
        Status path_status = decoded != nullptr ? ReadShardPath(entry.path, *decoded)
                                                : CheckManifestPath(entry.path);
        if (!path_status.ok()) return path_status;
        if (!ParseU64(fields[2], entry.size))
            return BadFormat("size is not an integer: " + PrintableCopy(line));
        if (!IsLowerHex64(entry.sha256)) {
            return BadFormat("sha256 is not 64 lowercase hex characters: " + PrintableCopy(line));
        }
        if (check) {
            Status entry_status = check(entry);
            if (!entry_status.ok()) return entry_status;
        }
        files.push_back(entry);
    }
    return Status::Success();
}

Result<std::vector<FileEntry>> ParseManifestFiles(const std::string& manifest_text,
                                                  const FileEntryCheck& check) {
    std::vector<FileEntry> files;
    Status status = AppendFileLines(manifest_text, check, files);
    if (!status.ok()) return status;
    if (files.empty() && !HasLineOfKind(manifest_text, kShardKind) &&
        !HasLineOfKind(manifest_text, kEncodedShardKind)) {
        return BadFormat("manifest contains no 'file' line");
    }
    return files;
}

bool IsReservedDeviceName(std::string_view name) {
    static constexpr std::array<std::string_view, 24> kDevices = {
        "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "COM1", "COM2",
        "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9", "LPT1",
        "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",   "LPT7",    "LPT8", "LPT9"};
    // Win32 drops trailing dots and spaces from a name, and spaces before its extension too.
    std::string_view stem = TrimEnd(name, ". ");
    stem = TrimEnd(stem.substr(0, stem.find('.')), " ");
    const std::string device = UpperAscii(stem);
    for (const std::string_view name : kDevices) {
        if (device == name) return true;
    }
    return false;
}

}  // namespace patcher
