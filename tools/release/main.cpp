// garun2-release: the operator's release tool. Dispatches to one subcommand.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/release/commands.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(const std::vector<std::string>&);
    const char* summary;
};

constexpr Subcommand kSubcommands[] = {
    {"keygen", patcher::release::RunKeygen, "make a new Ed25519 key pair"},
    {"registry", patcher::release::RunRegistry,
     "create or update keys.txt and sign it with the root key"},
    {"manifest", patcher::release::RunManifest, "write manifest.txt for a folder of game files"},
    {"sign", patcher::release::RunSign, "write a detached signature FILE.sig"},
    {"sign-exe", patcher::release::RunSignExe, "sign the patcher exe with Authenticode"},
    {"verify", patcher::release::RunVerify, "check FILE.sig against a public key"},
    {"publish", patcher::release::RunPublish, "build a complete, signed, validated release folder"},
    {"lint", patcher::release::RunLint, "check keys.txt, manifest.txt or a news document"},
    {"validate", patcher::release::RunValidate,
     "run the patcher's Validate on a registry and manifest"},
    {"gc", patcher::release::RunGc, "remove objects that no recent release names"},
};

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "usage: garun2-release COMMAND [OPTIONS]\n\ncommands:\n");
    for (const Subcommand& command : kSubcommands) {
        std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
    }
    std::fprintf(out,
                 "\nEvery command takes --help. Exit codes: 0 success, 1 usage error or bad\n"
                 "input, otherwise the patcher's status code of the failure.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 1;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Subcommand& command : kSubcommands) {
        if (name == command.name) {
            const int code = command.run(args);
            std::fflush(stdout);
            return code;
        }
    }
    std::fprintf(stderr, "garun2-release: unknown command '%s'\n", name.c_str());
    PrintUsage(stderr);
    return 1;
}
