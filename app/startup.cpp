#include "app/startup.h"

#include <windows.h>

#include <shellapi.h>

#include "app/build_settings.h"
#include "app/console_attach.h"
#include "app/console_report.h"
#include "app/headless.h"
#include "app/resolve_config.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

constexpr wchar_t kSingleInstanceMutex[] = L"Local\\Garun2PatcherSingleInstance";
constexpr wchar_t kMainWindowClass[] = L"Garun2PatcherMainWindow";

void LogStartBanner(const std::wstring& executable, const ArgumentList& arguments) {
    LogLine(std::string("---- patcher start, version ") + kPatcherVersion + " ----");
    LogLineWide(L"exe: " + executable);
    std::wstring joined;
    for (const std::wstring& argument : arguments) joined += argument + L" ";
    LogLineWide(L"arguments: " + joined);
}

// Holds the mutex for the whole run. A restart after a self-update waits up to five seconds for
// the previous process, which still holds the mutex while it exits.
struct SingleInstance {
    unique_handle mutex;
    bool is_single = false;
};

SingleInstance AcquireSingleInstance(bool after_self_update) {
    SingleInstance instance;
    for (int attempt = 0;; ++attempt) {
        // Our own handle keeps the named mutex alive: holding on to it while asking again would
        // make every retry see ERROR_ALREADY_EXISTS even after the previous process has gone.
        instance.mutex.reset();
        instance.mutex.reset(CreateMutexW(nullptr, TRUE, kSingleInstanceMutex));
        instance.is_single = instance.mutex.is_valid() && GetLastError() != ERROR_ALREADY_EXISTS;
        if (instance.is_single || !after_self_update || attempt == 50) return instance;
        Sleep(100);
    }
}

void SurfaceRunningWindow() {
    const HWND window = FindWindowW(kMainWindowClass, nullptr);
    if (window == nullptr) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

int RunUiSelfTest(const ArgumentList& arguments) {
    AttachParentConsoleIfNeeded();
    ResolveConfig(arguments);
    LogLine("ui self-test: the window front end is not built in this version");
    PrintField(L"UI_SELFTEST", L"WINDOW_FAILED");
    return 1;
}

int RunWindow(const ArgumentList& arguments) {
    ResolveConfig(arguments);
    LogLine("the window front end is not built in this version -- use --headless");
    return 1;
}

}  // namespace

ArgumentList SplitCommandLine(const wchar_t* command_line) {
    ArgumentList arguments;
    int count = 0;
    unique_hlocal split(CommandLineToArgvW(command_line, &count));
    if (!split) return arguments;
    wchar_t** argv = static_cast<wchar_t**>(split.get());
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

void CleanUpSelfUpdateLeftovers(const std::wstring& executable) {
    if (executable.empty()) return;
    const std::wstring old_file = executable + L".old";
    if (!PathExists(old_file)) return;
    if (!DeleteFileW(old_file.c_str())) {
        // The previous process may still be closing its image; give it a moment.
        Sleep(400);
        DeleteFileW(old_file.c_str());
    }
    DeleteFileW((executable + L".new").c_str());
}

int RunPatcher(int /*show_command*/) {
    const ArgumentList arguments = SplitCommandLine(GetCommandLineW());
    const bool headless = HasArgument(arguments, L"--headless");
    const bool after_self_update = HasArgument(arguments, L"--after-self-update");

    const std::wstring executable = ExecutablePath();
    LogOpen(ParentPath(executable), DefaultDataDirectory());
    LogStartBanner(executable, arguments);
    CleanUpSelfUpdateLeftovers(executable);
    const SingleInstance instance = AcquireSingleInstance(after_self_update);

    if (headless) {
        AttachParentConsoleIfNeeded();
        return RunHeadless(arguments, instance.is_single);
    }
    if (HasArgument(arguments, L"--ui-selftest")) return RunUiSelfTest(arguments);
    if (!instance.is_single) {
        SurfaceRunningWindow();
        return 0;
    }
    return RunWindow(arguments);
}

}  // namespace patcher::win
