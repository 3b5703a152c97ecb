#include "app/child_process.h"

#include <windows.h>

#include <string>
#include <vector>

#include "win/launch/inherited_handle_list.h"
#include "win/platform/known_paths.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

// Inheritable duplicates of the standard handles, handed to the child through an explicit
// handle list so that nothing else of ours leaks into it.
class InheritedStdHandles {
  public:
    InheritedStdHandles() {
        const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (int i = 0; i < 3; ++i) {
            const HANDLE source = ::GetStdHandle(ids[i]);
            if (source == nullptr || source == INVALID_HANDLE_VALUE) continue;
            HANDLE copy = nullptr;
            if (!::DuplicateHandle(::GetCurrentProcess(), source, ::GetCurrentProcess(), &copy, 0,
                                   TRUE, DUPLICATE_SAME_ACCESS)) {
                continue;
            }
            owned_[i].reset(copy);
            list_.push_back(copy);
        }
    }
    HANDLE at(int i) const { return owned_[i].get(); }
    bool any() const { return !list_.empty(); }
    const std::vector<HANDLE>& list() const { return list_; }

  private:
    unique_handle owned_[3];
    std::vector<HANDLE> list_;
};

}  // namespace

std::wstring Quoted(const std::wstring& text) {
    // Backslashes right before the closing quote would escape it ("C:\data\" would swallow the
    // rest of the line), so they are doubled as the command-line parser expects.
    std::size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == L'\\') ++trailing;
    return L"\"" + text + std::wstring(trailing, L'\\') + L"\"";
}

bool StartChildProcess(const std::wstring& executable, const std::wstring& tail,
                       unique_handle& process, std::uint32_t& error) {
    error = 0;
    if (executable.empty()) {
        error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    std::wstring command_line = Quoted(executable);
    if (!tail.empty()) command_line += L" " + tail;
    std::vector<wchar_t> writable(command_line.begin(), command_line.end());
    writable.push_back(L'\0');

    InheritedStdHandles handles;
    InheritedHandleList inherited;
    std::string unused;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    DWORD flags = 0;
    if (handles.any() && inherited.Build(handles.list(), unused)) {
        startup.lpAttributeList = inherited.get();
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = handles.at(0);
        startup.StartupInfo.hStdOutput = handles.at(1);
        startup.StartupInfo.hStdError = handles.at(2);
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    const BOOL inherit = flags != 0 ? TRUE : FALSE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(executable.c_str(), writable.data(), nullptr, nullptr, inherit, flags,
                          nullptr, nullptr, &startup.StartupInfo, &info)) {
        error = ::GetLastError();
        return false;
    }
    ::CloseHandle(info.hThread);
    process.reset(info.hProcess);
    return true;
}

ChildRun RunChildProcess(const std::wstring& executable, const std::wstring& tail,
                         std::uint32_t timeout_ms) {
    ChildRun run;
    unique_handle process;
    if (!StartChildProcess(executable, tail, process, run.error)) return run;
    run.started = true;
    const DWORD waited = ::WaitForSingleObject(process.get(), timeout_ms);
    if (waited != WAIT_OBJECT_0) {
        run.error = waited == WAIT_TIMEOUT ? WAIT_TIMEOUT : ::GetLastError();
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
        return run;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) {
        run.error = ::GetLastError();
        return run;
    }
    run.finished = true;
    run.exit_code = code;
    return run;
}

ChildRun RunSelfAsChild(const std::wstring& tail, std::uint32_t timeout_ms) {
    return RunChildProcess(ExecutablePath(), tail, timeout_ms);
}

}  // namespace patcher::win
