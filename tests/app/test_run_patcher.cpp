#include "tests/app/test_run_patcher.h"

#include <windows.h>

#include "win/platform/process.h"
#include "win/platform/unique_handle.h"

namespace patcher::app::testing {

using namespace win;

namespace {

// Reads what the patcher writes until it has exited and the pipe holds nothing more. Waiting for
// the pipe's end instead would wait for every process that inherited its write end, and Wine
// starts its system processes (explorer.exe, services.exe) from whichever process first needs
// them, with that process's handles: they outlive the patcher, and the read would never end.
void ReadUntilExit(HANDLE pipe, HANDLE process, std::uint32_t timeout_ms, PatcherRun& run) {
    const ULONGLONG start = ::GetTickCount64();
    char chunk[4096];
    for (bool exited = false;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
        if (available > 0) {
            DWORD got = 0;
            const DWORD want = available < sizeof(chunk) ? available : DWORD{sizeof(chunk)};
            if (!::ReadFile(pipe, chunk, want, &got, nullptr) || got == 0) return;
            run.output.append(chunk, got);
            continue;
        }
        if (exited) return;
        exited = ::WaitForSingleObject(process, 20) == WAIT_OBJECT_0;
        if (!exited && ::GetTickCount64() - start > timeout_ms) {
            run.timed_out = true;
            ::TerminateProcess(process, 255);
            ::WaitForSingleObject(process, INFINITE);
            exited = true;
        }
    }
}

PatcherRun RunOnce(const std::wstring& arguments, std::uint32_t timeout_ms) {
    PatcherRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    unique_handle read_end;
    unique_handle write_end;
    if (!::CreatePipe(read_end.put(), write_end.put(), &inheritable, 0)) return run;
    ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);
    unique_hfile nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr));

    ProcessStart start{PatcherExecutablePath(), arguments};
    start.std_handles = StdHandles{nul.get(), write_end.get(), write_end.get()};
    start.inherit_everything = true;
    const StartedProcess started = StartProcess(start);
    if (!started.ok()) return run;
    const HANDLE process = started.process.process();
    write_end.reset();
    run.started = true;

    ReadUntilExit(read_end.get(), process, timeout_ms, run);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    run.exit_code = code;
    return run;
}

}  // namespace

std::wstring PatcherExecutablePath() {
    wchar_t self[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring directory(self, length);
    directory.resize(directory.find_last_of(L"\\/"));
    return directory.substr(0, directory.find_last_of(L"\\/")) + L"\\app\\Velmor2Launcher.exe";
}

PatcherRun RunPatcher(const std::wstring& arguments, std::uint32_t timeout_ms) {
    PatcherRun run;
    for (int attempt = 0; attempt < 60; ++attempt) {
        run = RunOnce(arguments, timeout_ms);
        if (run.output.find("SINGLE_INSTANCE: ALREADY_RUNNING") == std::string::npos) break;
        ::Sleep(1000);
    }
    return run;
}

std::string ReportValue(const std::string& output, const std::string& key) {
    const std::string wanted = key + ": ";
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find("\r\n", start);
        if (end == std::string::npos) end = output.size();
        if (output.compare(start, wanted.size(), wanted) == 0) {
            return output.substr(start + wanted.size(), end - start - wanted.size());
        }
        start = end + 2;
    }
    return "<absent>";
}

}  // namespace patcher::app::testing
