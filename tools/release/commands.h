// The subcommands of garun2-release. Each takes the arguments after its name and returns the exit
// code: 0 on success, 1 for a usage error, otherwise the core's StatusCode of the failure.
#pragma once

#include <string>
#include <vector>

namespace patcher::release {

int RunKeygen(const std::vector<std::string>& args);
int RunSign(const std::vector<std::string>& args);
int RunSignExe(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunRegistry(const std::vector<std::string>& args);
int RunManifest(const std::vector<std::string>& args);
int RunPublish(const std::vector<std::string>& args);
int RunLint(const std::vector<std::string>& args);
int RunValidate(const std::vector<std::string>& args);
int RunGc(const std::vector<std::string>& args);

}  // namespace patcher::release
