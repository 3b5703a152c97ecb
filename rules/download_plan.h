// The download's decisions as plain functions of data: how many workers, which set is ambiguous,
// how long and how much one file may take, and which destinations are the patcher's own files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_delta.h"
#include "core/install_diff.h"

namespace patcher::rules {

inline constexpr std::uint32_t kDefaultDownloadWorkers = 8;
inline constexpr std::uint32_t kMaxDownloadWorkers = 16;
// A body may run this far past its manifest size before the transfer is cut; a little over is let
// through so that the size comparison, not the cap, names what went wrong.
inline constexpr std::uint64_t kDownloadSlackBytes = 65536;
// Room left on the install volume beyond the download itself.
inline constexpr std::uint64_t kDownloadHeadroomBytes = 268435456;

// The configured count (0 means the default), at most kMaxDownloadWorkers, at most one per item.
std::uint32_t DownloadWorkerCount(std::uint32_t configured, std::size_t items);

// A path that two items name, which makes the set ambiguous (two writers, one file). Windows
// compares names without letter case, so "A.dat" and "a.dat" are one file; manifest paths are
// ASCII, so folding A-Z is the file system's whole rule for them. Of two spellings, the one listed
// first is named.
std::optional<std::string> DuplicatePath(const std::vector<DiffItem>& items);

// Plans a delta for every item whose copy on disk (its old_sha256) a listed delta turns into the
// item's file with fewer bytes than the file; clears the plan of every other item.
void PlanDeltas(std::vector<DiffItem>& items, const std::vector<DeltaListing>& deltas);

// The bytes the items take to fetch: a planned delta's, else the file's.
std::uint64_t FetchBytes(const std::vector<DiffItem>& items);

// 61 seconds plus one second per 16 KiB: large files get time, stalled small ones fail fast.
std::uint64_t FileDeadlineMs(std::uint64_t expected_size);

// Why writing `destination` would overwrite one of the patcher's own files, or empty when it
// would not. Compared without ASCII case and with '/' as '\'; an empty executable path skips the
// executable's rows, an empty log path the log's.
std::string ReservedPathReason(const std::wstring& destination, const std::wstring& executable,
                               const std::wstring& log_path);

// Whether a destination whose last part is `name` may be one of the files ReservedPathReason
// refuses, whose last parts are `executable_name` and `log_name`, or their working names: all three
// upper-cased by the file system's rule. Only such a destination needs its spelling asked of the
// file system, which is slow. Any other last part is none of those names and cannot be spelled as
// one either: an 8.3 alias holds a "~", Windows drops trailing dots and spaces, and ":" names a
// stream of a file.
bool MayBeReservedName(std::wstring_view name, std::wstring_view executable_name,
                       std::wstring_view log_name);

}  // namespace patcher::rules
