// What every subcommand does the same way: its help text, usage errors (exit 1, nothing touched)
// and failures reported with the core's code as the exit status.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"
#include "tools/release/options.h"

namespace patcher::release {

struct CommandInfo {
    std::string name;
    std::string synopsis;  // one line, after "garun2-release "
    std::string details;   // the rest of the --help text
    std::vector<OptionSpec> options;
    std::size_t max_positionals = 0;
    std::vector<std::string> required;  // options that must be given
};

inline constexpr int kContinue = -1;

// Parses the subcommand's arguments. Returns kContinue when the command should run, otherwise the
// exit code: 0 after printing --help, 1 after a usage error.
int ParseCommandLine(const CommandInfo& info, const std::vector<std::string>& args,
                     ParsedOptions& parsed);

// Prints "garun2-release NAME: MESSAGE" and a pointer to --help on standard error; returns 1.
int UsageError(const CommandInfo& info, const std::string& message);

// Prints the failure on standard error; returns its code as the exit status.
int Fail(const CommandInfo& info, const Status& status);

// The --now option, or the system clock when it was not given.
std::string NowOrClock(const ParsedOptions& parsed);

// The root public key text from --root-key, or read from --root-key-file.
bool RootKeyText(const ParsedOptions& parsed, std::string& text, std::string& error);

}  // namespace patcher::release
