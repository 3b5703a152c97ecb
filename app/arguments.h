// The command-line grammar of the headless front end and the lookups the window front end uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/patcher_config.h"

namespace patcher::win {

using ArgumentList = std::vector<std::wstring>;

struct Arguments {
    // "--check", "--update", "--launch-decision", "--news", "--self-test", "--version"
    std::wstring command;
    std::wstring self_test_name;
    std::wstring self_test_argument;
    std::string expected_sha256;
    PatcherConfig config;
    std::uint32_t hold_milliseconds = 0;
    bool user_proxy = false;  // --user-proxy: the proxy from the user's settings, never automatic
    bool ok = true;
    std::wstring error;
};

Arguments ParseArguments(const ArgumentList& arguments);
bool HasArgument(const ArgumentList& arguments, const std::wstring& text);
std::wstring ArgumentValue(const ArgumentList& arguments, const std::wstring& text);

}  // namespace patcher::win
