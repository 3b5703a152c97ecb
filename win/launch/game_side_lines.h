// The game's side of the key channel, for the programs that play the game: the self-test child, the
// demo game and the tests' stand-in. A real game speaks the same lines.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace patcher::win {

// One line from the patcher, without its LF (and one CR before it); at most 4,096 bytes are kept.
// False when the pipe ended before any byte of a line arrived.
bool ReadPatcherLine(HANDLE input, std::string& line);

// Writes `line` and a LF in one call.
bool WriteGameLine(HANDLE output, std::string_view line);

// The key of a "KEY <key>" line; empty for any other line.
std::string KeyOfLine(const std::string& line);

}  // namespace patcher::win
