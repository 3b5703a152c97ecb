// The command line: one table of options for both front ends. The headless front end parses the
// whole grammar; the window honours the options marked for it and refuses every other one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rules/argument_list.h"
#include "rules/patcher_config.h"

namespace patcher::app {

struct Arguments {
    // "--check", "--update", "--launch-decision", "--news", "--self-test", "--version"
    std::wstring command;
    std::wstring self_test_name;
    std::wstring self_test_argument;
    std::string expected_sha256;
    rules::PatcherConfig config;
    std::uint32_t hold_milliseconds = 0;
    bool user_proxy = false;  // --user-proxy: the proxy from the user's settings, never automatic
    bool ok = true;
    std::wstring error;
};

Arguments ParseArguments(const rules::ArgumentList& arguments);

// The window's overrides: each option the window honours, applied when its value is not empty.
void ApplyWindowOptions(const rules::ArgumentList& arguments, rules::PatcherConfig& config);
// The same options as command-line text for the restart after a self-update, so the new patcher
// serves the same release from the same folders.
std::wstring WindowRestartArguments(const rules::ArgumentList& arguments);
// The first token a window start does not honour, as an English sentence; nothing when every
// token is one of its own.
std::optional<std::wstring> WindowRefusal(const rules::ArgumentList& arguments);

}  // namespace patcher::app
