#include "app/startup.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/build_settings.h"
#include "app/child_process.h"
#include "app/console_attach.h"
#include "app/console_report.h"
#include "app/headless.h"
#include "app/resolve_config.h"
#include "garun2/patcher_version.h"
#include "garun2/source_revision.h"
#include "model/window_texts.h"
#include "ui/window/main_window.h"
#include "ui/window/ui_self_test.h"
#include "win/platform/known_paths.h"
#include "win/platform/last_error.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"
#include "win/platform/support_log.h"
#include "win/platform/unique_handle.h"

namespace patcher::app {

using namespace model;
using namespace rules;
using namespace ui;
using namespace win;

namespace {

constexpr wchar_t kSingleInstanceMutex[] = L"Local\\Garun2PatcherSingleInstance";

// Deleting a link by name would delete the file it leads to, which may be anything.
void LogLeftLink(const std::wstring& path) {
    LogLineWide(L"self-update: left alone " + path + L": it is a link to another file");
}

void LogStartBanner(const std::wstring& executable, const ArgumentList& arguments) {
    LogLine(std::string("---- patcher start, version ") + kPatcherVersion + " ----");
    LogLineWide(L"exe: " + executable);
    std::wstring joined;
    for (const std::wstring& argument : arguments) joined += argument + L" ";
    LogLineWide(L"arguments: " + joined);
    LogLine(std::string("revision: ") + GARUN2_SOURCE_REVISION);
}

// How long a restart after a self-update waits for the previous process to let go of the mutex.
// That process has nothing left to do but exit, yet on a loaded machine (or with a virus scanner
// looking at the new exe) exiting can take seconds; giving up early would leave the player with
// no patcher at all, since the old window is already gone.
constexpr DWORD kPreviousProcessWaitMs = 60000;

// Holds the mutex for the whole run.
struct SingleInstance {
    unique_handle mutex;
    bool is_single = false;
    bool waited_for_previous = false;  // a restart that found the previous patcher still there
};

SingleInstance AcquireSingleInstance(bool after_self_update) {
    SingleInstance instance;
    instance.mutex.reset(CreateMutexW(nullptr, TRUE, kSingleInstanceMutex));
    instance.is_single = instance.mutex.is_valid() && GetLastError() != ERROR_ALREADY_EXISTS;
    if (instance.is_single || !after_self_update || !instance.mutex.is_valid()) return instance;
    // The previous process owns the mutex until its main thread ends; the wait then hands it to
    // us (abandoned, as that thread never releases it), with no polling window to miss. Waiting on
    // the mutex rather than on the process also covers a previous patcher started from elsewhere.
    instance.waited_for_previous = true;
    const DWORD waited = WaitForSingleObject(instance.mutex.get(), kPreviousProcessWaitMs);
    instance.is_single = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return instance;
}

void LogSingleInstance(const SingleInstance& instance) {
    if (!instance.waited_for_previous) return;
    LogLine(instance.is_single
                ? "self-update: the previous patcher has exited; this one carries on"
                : "self-update: the previous patcher did not exit within " +
                      std::to_string(kPreviousProcessWaitMs / 1000) + " s; giving up");
}

void SurfaceRunningWindow() {
    const HWND window = FindWindowW(kMainWindowClassName, nullptr);
    if (window == nullptr) return;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

void InitialiseCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

// An option the window would not honour stops the start, so nobody believes it took effect.
int RefuseWindowStart(const std::wstring& refusal, bool ui_self_test) {
    LogLineWide(L"window: not started: " + refusal);
    if (ui_self_test) {
        AttachParentConsoleIfNeeded();
        PrintField(L"ERROR", refusal);
    } else {
        MessageBoxW(nullptr, (std::wstring(kTextOptionRefused) + L"\r\n" + refusal).c_str(),
                    kTextWindowTitle, MB_OK | MB_ICONERROR);
    }
    return 1;
}

int RunUiSelfTest(const ArgumentList& arguments) {
    AttachParentConsoleIfNeeded();
    const PatcherConfig config = ResolveConfig(arguments);
    InitialiseCommonControls();
    MainWindow window(config);
    if (!window.Create(GetModuleHandleW(nullptr), true, SW_HIDE)) {
        PrintField(L"UI_SELFTEST", L"WINDOW_FAILED");
        return 1;
    }
    return RunUiSelfTest(
        window, kBuiltInReleaseUrl, kBuiltInKeyService,
        [](const std::wstring& line) { WriteConsoleText(line + L"\r\n"); },
        ArgumentValue(arguments, L"--screenshots"));
}

int RunWindow(const ArgumentList& arguments, bool after_self_update, int show_command) {
    const PatcherConfig config = ResolveConfig(arguments);
    InitialiseCommonControls();
    MainWindow window(config);
    window.SetAfterSelfUpdate(after_self_update);
    window.SetRestartArguments(WindowRestartArguments(arguments));
    if (!window.Create(GetModuleHandleW(nullptr), false, show_command)) {
        MessageBoxW(nullptr, kTextCreateFailed, kTextWindowTitle, MB_OK | MB_ICONERROR);
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window.hwnd(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
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

void CleanUpSelfUpdateLeftovers(const std::wstring& executable, bool after_previous_exit) {
    if (executable.empty()) return;
    const std::wstring old_file = executable + L".old";
    if (!PathExists(old_file)) return;
    // Once its mutex is free, the previous process may still be unmapping its image (the .old
    // file) for a moment. Any other start tries once: the .old may belong to a patcher that is
    // still running, and a second start only brings that one forward.
    const PlainDelete result =
        DeletePlainFileRetrying(old_file, after_previous_exit ? kExitedImageRetries : 0);
    if (result == PlainDelete::Link) return LogLeftLink(old_file);
    if (result == PlainDelete::Failed) {
        LogLineWide(WithLastError(L"self-update: could not delete " + old_file, L"win32 error") +
                    L"; next start tries again");
        return;
    }
    const std::wstring new_file = executable + L".new";
    if (DeletePlainFile(new_file) == PlainDelete::Link) LogLeftLink(new_file);
}

int RunPatcher(int show_command) {
    const ArgumentList arguments = SplitCommandLine(GetCommandLineW());
    const bool headless = HasArgument(arguments, L"--headless");
    const bool after_self_update = HasArgument(arguments, L"--after-self-update");

    // A restart after a self-update first waits for the previous patcher to go: until then that
    // process holds the log beside the exe (this run would write to the fallback) and has the
    // retired exe mapped (it could not be deleted).
    const SingleInstance instance = AcquireSingleInstance(after_self_update);
    const std::wstring executable = ExecutablePath();
    LogOpen(ParentPath(executable), DefaultDataDirectory());
    LogStartBanner(executable, arguments);
    LogSingleInstance(instance);
    CleanUpSelfUpdateLeftovers(executable, instance.waited_for_previous && instance.is_single);

    if (headless) {
        AttachParentConsoleIfNeeded();
        return RunHeadless(arguments, instance.is_single);
    }
    const bool ui_self_test = HasArgument(arguments, L"--ui-selftest");
    if (const std::optional<std::wstring> refusal = WindowRefusal(arguments)) {
        return RefuseWindowStart(*refusal, ui_self_test);
    }
    if (ui_self_test) return RunUiSelfTest(arguments);
    if (!instance.is_single) {
        if (instance.waited_for_previous) {
            MessageBoxW(nullptr, kTextPreviousPatcherStillOpen, kTextWindowTitle,
                        MB_OK | MB_ICONWARNING);
            return 1;
        }
        SurfaceRunningWindow();
        return 0;
    }
    return RunWindow(arguments, after_self_update, show_command);
}

}  // namespace patcher::app
