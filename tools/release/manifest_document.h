// Writing manifest.txt: the header values, one `file` line per game file with its size, SHA-256
// and download address, and the finished text held to the core's line rules and parsers.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"
#include "core/url_join.h"
#include "tools/release/game_tree.h"

namespace patcher::release {

struct ManifestValues {
    std::string version;
    std::string channel;
    std::string counter;
    std::string created;
    std::string expires;
    std::string base_url;  // file addresses are UrlJoin(base_url, path)
};

struct ManifestFile {
    std::string path;
    std::string size;  // decimal, no leading zeros
    std::string sha256;
    std::string url;  // its address; empty: UrlJoin(base_url, path)
};

// The address of a file under a base address, joined the way the patcher joins release names:
// trailing "/" removed, then one "/", then the name.

// Refuses header values the patcher would refuse (through the core's header parser), a base URL
// the patcher could not fetch from (not https, or not a single printable field), and an expiry
// that is not after both the creation time and now. Messages name the option.
Status CheckManifestValues(const ManifestValues& values, const std::string& now);

// The manifest text, checked by the core as the patcher will check it.
Result<std::string> RenderManifest(const ManifestValues& values,
                                   const std::vector<ManifestFile>& files);

// Size and SHA-256 of each file, read from disk through the core's hashing.
Result<std::vector<ManifestFile>> DescribeFiles(const std::vector<GameFile>& files);

}  // namespace patcher::release
