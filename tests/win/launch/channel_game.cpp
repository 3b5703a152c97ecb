// A stand-in game for the launch tests, started through the key channel. Its first argument picks
// how it behaves:
//   talk HANDLE   reads its key, asks for another, notes both lines and whether HANDLE (a value
//                 the test holds open inheritably) is open here; exits 7, or 8 when it is open
//   probe HANDLE  only the handle check, by exit code (7 closed, 8 open), for a start without pipes
//   deaf          never reads its input; exits 5 after 1.5 s
//   flood         writes 9,000 bytes without a line end, then a note; exits 6
//   quit          exits 9 at once
//   helper        starts "sleep" inheriting its handles (the pipes too), notes the child's id,
//                 asks for a key and exits 7 at once
//   sleep         sleeps 60 s
//   ask5          asks for five keys and exits 3 at once
//   burst         asks for fifty keys at once, then reads until the pipe ends; exits 4
//   greedy        asks for 200 keys but never reads one and notes "heard"; exits 5 once it can no
//                 longer write (the channel closed), after 30 s at most
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "win/launch/game_side_lines.h"
#include "win/platform/process.h"

namespace {

using patcher::win::ReadPatcherLine;
using patcher::win::WriteGameLine;

bool HandleOpen(const wchar_t* value) {
    const auto handle =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(wcstoull(value, nullptr, 10)));
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

int Talk(HANDLE input, HANDLE output, const wchar_t* stray) {
    std::string line;
    ReadPatcherLine(input, line);
    WriteGameLine(output, "NOTE FIRST " + line);
    const bool open = HandleOpen(stray);
    WriteGameLine(output, std::string("NOTE STRAY ") + (open ? "open" : "closed"));
    WriteGameLine(output, "KEYREQ");
    ReadPatcherLine(input, line);
    WriteGameLine(output, "NOTE SECOND " + line);
    return open ? 8 : 7;
}

int Flood(HANDLE output) {
    const std::string flood(9000, 'x');
    DWORD written = 0;
    WriteFile(output, flood.data(), static_cast<DWORD>(flood.size()), &written, nullptr);
    WriteGameLine(output, "\nNOTE after flood");
    return 6;
}

// A crash reporter or anti-cheat helper as a game might start one: it inherits everything.
int StartHelper(HANDLE output) {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    patcher::win::ProcessStart start{self, L"sleep"};
    start.inherit_everything = true;
    const patcher::win::StartedProcess started = patcher::win::StartProcess(start);
    if (!started.ok()) return 1;
    WriteGameLine(output, "NOTE CHILD " + std::to_string(GetProcessId(started.process.process())));
    WriteGameLine(output, "KEYREQ");
    return 7;
}

// Every request in one write, as a game that sends them in a burst would.
void AskFor(HANDLE output, int keys) {
    std::string lines;
    for (int i = 0; i < keys; ++i) lines += "KEYREQ\n";
    DWORD written = 0;
    WriteFile(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

int Burst(HANDLE input, HANDLE output) {
    AskFor(output, 50);
    std::string line;
    while (ReadPatcherLine(input, line)) {
    }
    return 4;
}

int Greedy(HANDLE output) {
    AskFor(output, 200);
    WriteGameLine(output, "NOTE heard");
    for (int i = 0; i < 60 && WriteGameLine(output, "NOTE waiting"); ++i) Sleep(500);
    return 5;
}

int Deaf() {
    Sleep(1500);
    return 5;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring mode = count > 1 ? argv[1] : L"";
    const wchar_t* handle = count > 2 ? argv[2] : L"0";
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    int code = 1;
    if (mode == L"talk") code = Talk(input, output, handle);
    if (mode == L"probe") code = HandleOpen(handle) ? 8 : 7;
    if (mode == L"deaf") code = Deaf();
    if (mode == L"flood") code = Flood(output);
    if (mode == L"quit") code = 9;
    if (mode == L"helper") code = StartHelper(output);
    if (mode == L"sleep") Sleep(60000);
    if (mode == L"ask5") {
        AskFor(output, 5);
        code = 3;
    }
    if (mode == L"burst") code = Burst(input, output);
    if (mode == L"greedy") code = Greedy(output);
    LocalFree(argv);
    return code;
}
