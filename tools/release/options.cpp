#include "tools/release/options.h"

namespace patcher::release {

std::string ParsedOptions::Get(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end() || found->second.empty()) return {};
    return found->second.back();
}

std::vector<std::string> ParsedOptions::All(const std::string& name) const {
    auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>{} : found->second;
}

namespace {

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
    static const OptionSpec kHelp{"help", false, false};
    if (name == "help") return &kHelp;
    for (const OptionSpec& spec : specs) {
        if (spec.name == name) return &spec;
    }
    return nullptr;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                  std::size_t max_positionals, ParsedOptions& parsed, std::string& error) {
    parsed = ParsedOptions();
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            if (arg == "--") {
                options_ended = true;
                continue;
            }
            if (parsed.positionals_.size() >= max_positionals) {
                error = "unexpected argument: " + arg;
                return false;
            }
            parsed.positionals_.push_back(arg);
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name =
            arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSpec* spec = FindSpec(specs, name);
        if (spec == nullptr) {
            error = "unknown option --" + name;
            return false;
        }
        std::string value;
        if (spec->takes_value) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "--" + name + " needs a value";
                return false;
            }
            if (value.empty()) {
                error = "--" + name + " needs a non-empty value";
                return false;
            }
        } else if (equals != std::string::npos) {
            error = "--" + name + " takes no value";
            return false;
        }
        std::vector<std::string>& slot = parsed.values_[name];
        if (!slot.empty() && !spec->repeatable) {
            error = "--" + name + " is given more than once";
            return false;
        }
        slot.push_back(value);
    }
    return true;
}

std::string FirstMissing(const ParsedOptions& parsed, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!parsed.Has(name)) return name;
    }
    return {};
}

}  // namespace patcher::release
