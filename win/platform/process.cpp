#include "win/platform/process.h"

#include "win/platform/inherited_handle_list.h"

namespace patcher::win {
namespace {

// The standard handles go in only when asked for: STARTF_USESTDHANDLES with null values would give
// the child no standard handles at all rather than its own.
void SetStdHandles(const std::optional<StdHandles>& handles, STARTUPINFOW& startup) {
    if (!handles) return;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles->input;
    startup.hStdOutput = handles->output;
    startup.hStdError = handles->error;
}

}  // namespace

std::wstring Quoted(const std::wstring& text) {
    // Backslashes right before the closing quote would escape it ("C:\data\" would swallow the
    // rest of the line), so they are doubled as the command-line parser expects.
    std::size_t trailing = 0;
    while (trailing < text.size() && text[text.size() - 1 - trailing] == L'\\') ++trailing;
    return L"\"" + text + std::wstring(trailing, L'\\') + L"\"";
}

std::wstring CommandLine(const std::wstring& executable, const std::wstring& tail) {
    std::wstring line = Quoted(executable);
    if (!tail.empty()) line += L" " + tail;
    return line;
}

StartedProcess StartProcess(const ProcessStart& start) {
    StartedProcess started;
    if (start.executable.empty()) {
        started.error = ERROR_FILE_NOT_FOUND;
        return started;
    }
    const std::wstring line = CommandLine(start.executable, start.tail);
    std::vector<wchar_t> writable(line.begin(), line.end());  // CreateProcessW may write into it
    writable.push_back(L'\0');

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup.StartupInfo);
    SetStdHandles(start.std_handles, startup.StartupInfo);
    DWORD flags = 0;
    InheritedHandleList inherited;
    if (!start.inherit.empty()) {
        if (!inherited.Build(start.inherit, started.list_failure)) return started;
        startup.StartupInfo.cb = sizeof(startup);
        startup.lpAttributeList = inherited.get();
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    const BOOL inherit = start.inherit_everything || !start.inherit.empty() ? TRUE : FALSE;
    const wchar_t* folder = start.folder.empty() ? nullptr : start.folder.c_str();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(start.executable.c_str(), writable.data(), nullptr, nullptr, inherit,
                          flags, nullptr, folder, &startup.StartupInfo, &info)) {
        started.error = ::GetLastError();
        return started;
    }
    started.process = unique_process_information(info);
    return started;
}

}  // namespace patcher::win
