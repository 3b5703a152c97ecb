// The names a release may give its files beyond the manifest's own [A-Za-z0-9._/-]: a `file`
// line of a shard the manifest lists as `shard-utf8` may percent-encode any other byte of a UTF-8
// path ("%20" for a space), and the path is decoded once, after the shard's hash and line checks,
// into the name Windows' own rules judge. Patchers that know no shards, or only `shard` lines,
// never fetch such a shard, so they never see such a path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/status.h"

namespace patcher {

// Windows without long paths opens at most 259 UTF-16 units; a release path of at most 200
// leaves the install folder 38 of them beside the longest partial download name (".<12 digits>
// .g2part"), and keeps every name within the file system's 255.
inline constexpr std::size_t kMaxReleasePathUnits = 200;

// The path field of an encoded shard's `file` line decoded: bytes of the manifest's set as they
// stand,
// "%XX" (either case of hex digit) as the byte XX; BadFormat for any other byte or a cut escape.
Status DecodeShardPath(std::string_view field, std::string& path);

// The field that decodes to `path`: every byte outside the manifest's set, "%" among them, as
// "%XX" with upper-case digits. Also a URL path that names the file on a web server.
std::string EncodeShardPath(std::string_view path);

// Whether `path` holds a byte outside the manifest's own set [A-Za-z0-9._/-], and so can only be
// named, encoded, in a `shard-utf8` shard.
bool NeedsShardEncoding(std::string_view path);

// Windows' rules for a file name, on a decoded path: valid UTF-8 without control characters;
// none of < > : " \ | ? *; relative, with no empty name and no "..", no name ending in a dot or a
// space (Win32 strips them, so two names would meet on disk) or reserved for a device; within the
// lengths above.
Status CheckReleasePath(std::string_view path);

}  // namespace patcher
