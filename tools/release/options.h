// The command-line grammar every subcommand shares: `--name value`, `--name=value`, bare flags,
// repeatable options and positional arguments, checked against the subcommand's table so that a
// mistake is reported before any file is touched.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace patcher::release {

struct OptionSpec {
    std::string name;  // without the leading "--"
    bool takes_value = true;
    bool repeatable = false;
};

class ParsedOptions {
  public:
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    // The value of a single option, or the empty string when it was not given.
    std::string Get(const std::string& name) const;
    // Every value of a repeatable option, in command-line order.
    std::vector<std::string> All(const std::string& name) const;
    const std::vector<std::string>& positionals() const { return positionals_; }

  private:
    friend bool ParseOptions(const std::vector<std::string>&, const std::vector<OptionSpec>&,
                             std::size_t, ParsedOptions&, std::string&);
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positionals_;
};

// "--help" is always understood and needs no entry in specs. Options may stand before and after
// positionals; "--" ends the options. On failure `error` says what is wrong.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                  std::size_t max_positionals, ParsedOptions& parsed, std::string& error);

// The first of the named options that is missing, or the empty string.
std::string FirstMissing(const ParsedOptions& parsed, const std::vector<std::string>& names);

}  // namespace patcher::release
