// Comparing the manifest's entries with the files of an installation: the content check that
// `Validate` runs while it parses (stops at the first damaged file), and the install diff that
// lists every file to download (never stops early).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/manifest.h"
#include "core/status.h"
#include "core/verified_records.h"

namespace patcher {

// How deep the install diff looks: full hashes every file, quick hashes only the critical paths,
// size never hashes.
enum class CheckLevel : std::uint32_t { Full = 0, Quick = 1, Size = 2 };

enum class DiffReason : std::int32_t { Missing = 0, SizeMismatch = 1, HashMismatch = 2 };

// "missing", "size-mismatch", "hash-mismatch"; any other value is "unknown".
const char* DiffReasonName(DiffReason reason);

// One file to download. The fields are copies, so an item outlives the manifest text.
struct DiffItem {
    std::string path;
    std::string url;
    std::uint64_t size = 0;
    std::string sha256;
    DiffReason reason = DiffReason::Missing;
    // The copy on disk, when the check knows its SHA-256, and the size of the listed delta that
    // turns that copy into this file (0: no delta is planned).
    std::string old_sha256;
    std::uint64_t delta_bytes = 0;
};

// The real file that stands for one manifest path (the running patcher for its own entry). Both
// empty: no mapping.
struct DiffSelfMapping {
    std::string manifest_path;
    std::string file;
};

// install_dir + "/" + the manifest path unchanged; the path alone when install_dir is empty.
std::string InstalledFilePath(const std::string& install_dir, std::string_view manifest_path);

// The disk content check of one entry: present, of the manifest's size, with the manifest's
// SHA-256. Every failure is ContentMismatch and names the manifest path.
Status CheckInstalledFile(const std::string& install_dir, const FileEntry& entry);

// What a diff may know of files verified before, and learns of the files it hashes: a file whose
// stamp a record vouches for is not read. Called from the diff's threads at once.
class VerifiedFiles {
  public:
    virtual ~VerifiedFiles() = default;
    // The stamp of the file at `file` as the check began; nullopt when the file system cannot
    // give one.
    virtual std::optional<FileStamp> StampOf(const std::string& file) = 0;
    virtual bool Vouches(const std::string& path, const FileStamp& stamp,
                         std::string_view sha256) = 0;
    // The file at `file` (manifest path `path`), which had stamp `before`, hashed to its manifest
    // digest; it is recorded only if it still has that stamp, so that it had these bytes all along.
    virtual void Verified(const std::string& path, const std::string& file, const FileStamp& before,
                          std::string_view sha256) = 0;
};

// Upper bound on the threads ComputeDiff hashes with, whatever the core count.
inline constexpr unsigned kMaxDiffThreads = 8;

// Every entry that must be downloaded, in manifest order. Files that need hashing are hashed on
// up to min(core count, entries to hash, kMaxDiffThreads) threads; max_threads, when non-zero,
// lowers that bound further (1 keeps all work on the calling thread).
std::vector<DiffItem> ComputeDiff(const std::vector<FileEntry>& entries,
                                  const std::string& install_dir, CheckLevel level,
                                  const std::vector<std::string>& critical_paths,
                                  const std::vector<std::string>& user_owned_paths,
                                  const DiffSelfMapping& self = {}, unsigned max_threads = 0,
                                  VerifiedFiles* verified = nullptr);

}  // namespace patcher
