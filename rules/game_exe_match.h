// Finding the configured game executable among the manifest's entries.
#pragma once

#include <string>
#include <vector>

#include "core/manifest.h"

namespace patcher::rules {

struct GameExeMatch {
    bool in_manifest = false;
    std::string manifest_path;   // the entry as the manifest writes it
    std::string same_name_path;  // an entry elsewhere with the executable's file name
};

// "bin\Game.EXE" as configured and "bin/game.exe" in the manifest name the same file.
std::string NormaliseGameExe(const std::string& configured_utf8);

GameExeMatch MatchGameExe(const std::vector<FileEntry>& entries,
                          const std::string& configured_utf8);

}  // namespace patcher::rules
