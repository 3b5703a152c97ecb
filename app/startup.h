// The start of every run: command line, support log, banner, self-update leftovers, the
// single-instance mutex, and the choice of front end.
#pragma once

#include <string>

#include "app/arguments.h"

namespace patcher::app {

int RunPatcher(int show_command);

rules::ArgumentList SplitCommandLine(const wchar_t* command_line);

// Deletes <exe>.old and then <exe>.new, but only when an .old exists: a lone .new may be a download
// waiting to be applied. Right after the previous patcher exited it retries for up to 3 s; a
// failure is logged and left to the next start.
void CleanUpSelfUpdateLeftovers(const std::wstring& executable, bool after_previous_exit);

}  // namespace patcher::app
