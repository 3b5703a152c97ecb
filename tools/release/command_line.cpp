#include "tools/release/command_line.h"

#include <cstdio>

#include "core/text.h"
#include "tools/release/file_io.h"

namespace patcher::release {

int ParseCommandLine(const CommandInfo& info, const std::vector<std::string>& args,
                     ParsedOptions& parsed) {
    std::string error;
    if (!ParseOptions(args, info.options, info.max_positionals, parsed, error)) {
        return UsageError(info, error);
    }
    if (parsed.Has("help")) {
        std::printf("usage: garun2-release %s\n\n%s", info.synopsis.c_str(), info.details.c_str());
        return 0;
    }
    if (parsed.positionals().size() < info.max_positionals) {
        return UsageError(info, "missing argument (see the usage line)");
    }
    const std::string missing = FirstMissing(parsed, info.required);
    if (!missing.empty()) return UsageError(info, "--" + missing + " is required");
    return kContinue;
}

int UsageError(const CommandInfo& info, const std::string& message) {
    std::fprintf(
        stderr, "garun2-release %s: %s\nusage: garun2-release %s\n(see garun2-release %s --help)\n",
        info.name.c_str(), message.c_str(), info.synopsis.c_str(), info.name.c_str());
    return 1;
}

int Fail(const CommandInfo& info, const Status& status) {
    std::fprintf(stderr, "garun2-release %s: %s\n", info.name.c_str(), status.message.c_str());
    return static_cast<int>(status.code);
}

std::string NowOrClock(const ParsedOptions& parsed) {
    return parsed.Has("now") ? parsed.Get("now") : CurrentUtcTimestamp();
}

bool RootKeyText(const ParsedOptions& parsed, std::string& text, std::string& error) {
    if (parsed.Has("root-key") && parsed.Has("root-key-file")) {
        error = "give --root-key or --root-key-file, not both";
        return false;
    }
    if (parsed.Has("root-key")) {
        text = parsed.Get("root-key");
        return true;
    }
    if (!parsed.Has("root-key-file")) {
        error = "--root-key (or --root-key-file) is required";
        return false;
    }
    Result<std::string> content = ReadWholeFile(parsed.Get("root-key-file"), 4096);
    if (!content.ok()) {
        error = content.status().message;
        return false;
    }
    text = content.value();
    return true;
}

}  // namespace patcher::release
