// The demo release's game: a small stand-in that speaks the key channel as a real game would. It
// reads the patcher's first line (a key, or KEYERR and a reason), asks once more with KEYREQ, and
// says in NOTE lines what it received -- the kind of each line and a key's length, never the key --
// then exits with a code a launcher can recognise:
//   42 both answers were keys, 43 at least one was not, 44 started without the key channel.
#include <windows.h>

#include <string>

#include "win/launch/game_side_lines.h"
#include "win/platform/secure_wipe.h"

namespace {

using namespace patcher::win;

constexpr int kTwoKeys = 42;
constexpr int kNoKey = 43;
constexpr int kNoChannel = 44;

bool IsPipe(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_PIPE;
}

// "KEY length=N", "KEYERR REASON" or "NOTHING"; true for a key.
bool Describe(bool received, const std::string& line, std::string& description) {
    if (!received) {
        description = "NOTHING";
    } else if (line.rfind("KEY ", 0) == 0) {
        description = "KEY length=" + std::to_string(line.size() - 4);
        return true;
    } else {
        description = line.rfind("KEYERR ", 0) == 0 ? line : "UNEXPECTED";
    }
    return false;
}

// Reads one answer and notes it; true when it was a key.
bool ReceiveAndNote(HANDLE input, HANDLE output, const char* which) {
    std::string line, description;
    const bool received = ReadPatcherLine(input, line);
    const bool key = Describe(received, line, description);
    SecureWipe(line);
    WriteGameLine(output, std::string("NOTE ") + which + " " + description);
    return key;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    // Started by hand (no pipes, or a console whose input would wait for a person): nothing to do.
    if (!IsPipe(input) || !IsPipe(output)) return kNoChannel;
    const bool first = ReceiveAndNote(input, output, "FIRST");
    WriteGameLine(output, "KEYREQ");
    const bool second = ReceiveAndNote(input, output, "SECOND");
    return first && second ? kTwoKeys : kNoKey;
}
