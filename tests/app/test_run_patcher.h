// Runs the built patcher executable headless from a test and captures its report.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::app::testing {

struct PatcherRun {
    bool started = false;
    bool timed_out = false;
    std::uint32_t exit_code = 0;
    std::string output;  // standard output and error, UTF-8
};

// The executable beside the test binary's folder: ..\app\Velmor2Launcher.exe.
std::wstring PatcherExecutablePath();

// Starts the patcher with `arguments` (already quoted where needed) and waits up to
// `timeout_ms`. A run refused because another patcher holds the single-instance mutex (another
// test may be running one) is retried for a while.
PatcherRun RunPatcher(const std::wstring& arguments, std::uint32_t timeout_ms = 120000);

// The value of the first report line "KEY: value", or "<absent>".
std::string ReportValue(const std::string& output, const std::string& key);

}  // namespace patcher::app::testing
