#include "app/child_process.h"

#include <windows.h>

#include <string>
#include <vector>

#include "win/platform/known_paths.h"
#include "win/platform/process.h"
#include "win/platform/unique_handle.h"

namespace patcher::app {

using namespace win;

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

bool StartChildProcess(const std::wstring& executable, const std::wstring& tail,
                       unique_handle& process, std::uint32_t& error) {
    InheritedStdHandles handles;
    ProcessStart start{executable, tail};
    if (handles.any()) {
        start.std_handles = StdHandles{handles.at(0), handles.at(1), handles.at(2)};
        start.inherit = handles.list();
    }
    StartedProcess started = StartProcess(start);
    // Without its list the child still starts, with standard handles of its own and nothing of
    // ours: the self-test then misses the child's report lines rather than the child itself.
    if (!started.list_failure.empty()) started = StartProcess({executable, tail});
    error = started.error;
    if (!started.ok()) return false;
    process = started.process.take_process();
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

}  // namespace patcher::app
