// The walk over a folder of game files that a manifest describes: every regular file, named by
// its "/"-separated path relative to the folder, in byte-wise order, each path held to the rules
// the patcher applies before it writes anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"

namespace patcher::release {

struct GameFile {
    std::string path;       // relative, "/"-separated, as the manifest names it
    std::string disk_path;  // where the file is read from
};

// Refuses (BadInput) symbolic links, devices, sockets and pipes, a path the patcher would refuse
// (naming the path and the rule), two paths that Windows would take for one file, and a folder
// without files.
Result<std::vector<GameFile>> WalkGameTree(const std::string& root);

// Two paths equal under Windows' case rule (core/name_case.h), or a file whose path is, letter
// case aside, a folder of another: on a Windows install they would land on one file. The message
// names both.
Status CheckWindowsCollisions(const std::vector<std::string>& sorted_paths);

}  // namespace patcher::release
