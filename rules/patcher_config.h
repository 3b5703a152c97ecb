// The run's settings: built once at start-up and copied by value into everything that needs them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/install_diff.h"

namespace patcher::rules {

struct PatcherConfig {
    std::wstring base_url;
    std::wstring install_directory;
    std::wstring data_directory;
    std::string root_key;  // base64 text of the Ed25519 root public key
    std::wstring game_executable = L"Velmor2.exe";
    std::wstring game_arguments;
    std::wstring key_service;  // https origin; empty means no key service
    std::string now;           // fixed current time for the check; empty means the clock
    std::string expected_version;
    bool offline = false;
    CheckLevel check_level = CheckLevel::Full;
    // A repair: the verified-file records vouch for nothing, and every file is hashed.
    bool hash_every_file = false;
    std::vector<std::string> critical_paths;
    std::vector<std::string> user_owned_paths = {"garun2.cfg", "mouse.cfg", "channel.inf"};
    std::uint32_t download_workers = 0;  // 0 lets the download choose
    // Bytes per second for all workers together; 0 is no limit. --max-rate, else patcher.cfg.
    std::uint64_t download_rate_limit = 0;
};

}  // namespace patcher::rules
