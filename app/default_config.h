// The configuration both front ends start from before their own overrides.
#pragma once

#include "rules/patcher_config.h"

namespace patcher::app {

// Built-in addresses and root key, the default data and install directories, and the game
// executable named by patcher.cfg beside the executable (or "Velmor2.exe").
rules::PatcherConfig DefaultPatcherConfig();

}  // namespace patcher::app
