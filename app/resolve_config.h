// The window front end's configuration: defaults, patcher.cfg and the window's command-line options.
#pragma once

#include "app/arguments.h"

namespace patcher::win {

PatcherConfig ResolveConfig(const ArgumentList& arguments);

}  // namespace patcher::win
