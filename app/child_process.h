// Starting the patcher (or a copy of it) again as a child process for the self-tests, and waiting
// for it with a time limit. The child shares the parent's standard output so that its report
// lines appear in the parent's report.
#pragma once

#include <cstdint>
#include <string>

#include "win/platform/process.h"  // Quoted, for the callers' command tails
#include "win/platform/unique_handle.h"

namespace patcher::app {

struct ChildRun {
    bool started = false;
    bool finished = false;  // false after a time-out; the child was then terminated
    std::uint32_t exit_code = 0;
    std::uint32_t error = 0;  // Win32 error of a failed start or wait
};

// Starts `"executable" tail` without waiting; `process` receives its handle.
bool StartChildProcess(const std::wstring& executable, const std::wstring& tail,
                       win::unique_handle& process, std::uint32_t& error);

// Runs `"executable" tail` and waits up to `timeout_ms`. A child still running at the limit is
// terminated so that no probe leaves a process behind.
ChildRun RunChildProcess(const std::wstring& executable, const std::wstring& tail,
                         std::uint32_t timeout_ms);

// The same with the running patcher's own executable.
ChildRun RunSelfAsChild(const std::wstring& tail, std::uint32_t timeout_ms);

}  // namespace patcher::app
