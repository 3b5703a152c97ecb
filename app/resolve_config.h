// The window front end's configuration: defaults, patcher.cfg and the window's command-line
// options.
#pragma once

#include "app/arguments.h"

namespace patcher::app {

rules::PatcherConfig ResolveConfig(const rules::ArgumentList& arguments);

}  // namespace patcher::app
