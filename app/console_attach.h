// Gives a GUI-subsystem process a standard output when it was started from a console.
#pragma once

namespace patcher::app {

// Leaves a standard output that already is a file, pipe or console alone, so redirected output
// reaches its target; otherwise attaches to the parent's console, if it has one.
void AttachParentConsoleIfNeeded();

}  // namespace patcher::app
