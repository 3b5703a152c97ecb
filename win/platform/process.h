// Starting a process: the one place that calls CreateProcessW, so that every child gets a quoted
// executable, a writable command line, owned handles and an explicit list of what it inherits.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/platform/unique_handle.h"

namespace patcher::win {

// The child's standard handles in place of its own; each must be inheritable and, with a handle
// list, in it.
struct StdHandles {
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    HANDLE error = nullptr;
};

// Every member has an initialiser so that a start may name only its first few.
struct ProcessStart {
    std::wstring executable{};
    std::wstring tail{};    // the command line after the quoted executable
    std::wstring folder{};  // the child's working folder; empty: ours
    std::optional<StdHandles> std_handles{};
    // The only handles the child inherits; with none it inherits nothing.
    std::vector<HANDLE> inherit{};
    // Every inheritable handle of ours instead, as a careless program would start its helpers;
    // only the tests that stand in for such programs want it.
    bool inherit_everything = false;
};

// Either the started process or why it did not start.
struct StartedProcess {
    unique_process_information process;
    std::uint32_t error = 0;   // the Win32 error when CreateProcessW failed
    std::string list_failure;  // set, in its own words, when the handle list failed before it
    bool ok() const noexcept { return process.is_valid(); }
};

StartedProcess StartProcess(const ProcessStart& start);

// `"executable" tail`, as StartProcess hands it to the child.
std::wstring CommandLine(const std::wstring& executable, const std::wstring& tail);

// `text` in double quotes, for paths on a child command line (paths cannot contain quotes).
std::wstring Quoted(const std::wstring& text);

}  // namespace patcher::win
