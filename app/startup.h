// The start of every run: command line, support log, banner, self-update leftovers, the
// single-instance mutex, and the choice of front end.
#pragma once

#include <string>

#include "app/arguments.h"

namespace patcher::win {

int RunPatcher(int show_command);

ArgumentList SplitCommandLine(const wchar_t* command_line);

// Deletes <exe>.old (retrying for up to 3 s, then logging) and then <exe>.new, but only when an
// .old exists: a lone .new may be a download waiting to be applied.
void CleanUpSelfUpdateLeftovers(const std::wstring& executable);

}  // namespace patcher::win
