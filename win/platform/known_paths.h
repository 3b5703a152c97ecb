// Where the patcher lives and where it keeps its data by default.
#pragma once

#include <string>

namespace patcher::win {

// Full path of the running executable; empty when it cannot be had.
std::wstring ExecutablePath();

// %LOCALAPPDATA%\Garun2Patcher (or the shell's local application data folder); empty if neither.
std::wstring DefaultDataDirectory();

// The "game" folder beside the executable.
std::wstring DefaultInstallDirectory();

}  // namespace patcher::win
