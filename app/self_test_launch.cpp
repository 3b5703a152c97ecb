// The launch probes that need no game: a launch of a missing executable, and the ownership of the
// process handle that KeyChannel::Attach is given when it refuses it.
#include <windows.h>

#include "app/console_report.h"
#include "app/self_test.h"
#include "win/launch/key_channel.h"
#include "win/launch/launch_game.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

bool HandleOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE DuplicateOwnProcess() {
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

struct RefusedAttach {
    bool open_before = false;
    bool attached = false;
    bool open_after = false;
    std::string diagnostic;
    bool consumed() const { return open_before && !attached && !open_after; }
};

// Attaches `process` where it must be refused and looks whether the handle was closed.
RefusedAttach AttachAndLook(KeyChannel& channel, HANDLE process) {
    RefusedAttach result;
    result.open_before = HandleOpen(process);
    result.attached = channel.Attach(unique_handle(process), result.diagnostic);
    result.open_after = HandleOpen(process);
    return result;
}

}  // namespace

int RunLaunchMissingSelfTest(const Arguments& arguments) {
    const PatcherConfig& config = arguments.config;
    KeyChannel channel;
    LaunchReport report;
    std::string diagnostic;
    const bool started = LaunchGame(config, channel, report, diagnostic);
    PrintField(L"SELF_TEST", L"launch-missing");
    PrintField(L"INSTALL_DIR", config.install_directory);
    PrintField(L"GAME_EXE", config.game_executable);
    PrintField(L"STARTED", YesNo(started));
    PrintField(L"DIAGNOSTIC", Utf8ToWide(diagnostic));
    PrintField(L"RESULT", started ? L"STARTED" : L"NOT_STARTED");
    return 0;
}

int RunKeyAttachOwnershipSelfTest(const Arguments&) {
    const HANDLE first = DuplicateOwnProcess();
    if (first == nullptr) {
        PrintField(L"ATTACH_OWNERSHIP", L"DUP_FAILED");
        return 1;
    }
    KeyChannel never_created;
    const RefusedAttach a = AttachAndLook(never_created, first);
    PrintField(L"A_OPEN_BEFORE", YesNo(a.open_before));
    PrintField(L"A_ATTACHED", YesNo(a.attached));
    PrintField(L"A_DIAGNOSTIC", Utf8ToWide(a.diagnostic));
    PrintField(L"A_OPEN_AFTER", YesNo(a.open_after));
    PrintField(L"A_CONSUMED_ON_FAILURE", YesNo(a.consumed()));

    KeyChannel created;
    std::string message;
    if (!created.Create(message)) {
        PrintField(L"ATTACH_OWNERSHIP", L"CREATE_FAILED");
        return 1;
    }
    // Our own process stands in for the game: it never ends while the channel waits for it.
    const HANDLE own = DuplicateOwnProcess();
    const bool first_attached = own != nullptr && created.Attach(unique_handle(own), message);
    const HANDLE second = DuplicateOwnProcess();
    if (second == nullptr) {
        PrintField(L"ATTACH_OWNERSHIP", L"DUP_FAILED");
        return 1;
    }
    const RefusedAttach b = AttachAndLook(created, second);
    PrintField(L"B_FIRST_ATTACHED", YesNo(first_attached));
    PrintField(L"B_SECOND_ATTACHED", YesNo(b.attached));
    PrintField(L"B_SECOND_DIAGNOSTIC", Utf8ToWide(b.diagnostic));
    PrintField(L"B_SECOND_OPEN_BEFORE", YesNo(b.open_before));
    PrintField(L"B_SECOND_OPEN_AFTER", YesNo(b.open_after));
    PrintField(L"B_CONSUMED_ON_FAILURE", YesNo(b.consumed()));
    PrintField(L"CREATE_THREAD_FAILURE_PATH", L"NOT_FORCED (read, not measured)");
    const bool ok = a.consumed() && first_attached && b.consumed();
    PrintField(L"ATTACH_OWNERSHIP", ok ? L"OK" : L"FAILED");
    return ok ? 0 : 1;
}

}  // namespace patcher::app
