// Starting the game from the install directory. With a key service configured the game gets the
// key channel as its standard input and output, inherits those two pipe ends and nothing else, and
// receives its first key at once; the key never goes on its command line or into its environment.
// Without a key service the game starts plainly and inherits nothing.
#pragma once

#include <cstdint>
#include <string>

#include "garun2/patcher_version.h"
#include "rules/key_fetch_outcome.h"
#include "rules/patcher_config.h"
#include "win/launch/key_channel.h"

namespace patcher::win {

// The patcher version the key service is told.
inline constexpr const char* kKeyClientVersion = kPatcherVersion;

struct LaunchReport {
    bool channel_active = false;
    bool key_sent = false;
    rules::KeyFetchKind fetch_outcome = rules::KeyFetchKind::Disabled;  // of the first fetch
    std::uint32_t fetch_status = 0;
    std::uint32_t retry_after = 0;
    std::string fetch_message;
};

// True when the game process was started. The caller owns `channel` (with its closing callback
// and, optionally, a provider of its own) and keeps it while the game runs.
bool LaunchGame(const rules::PatcherConfig& config, KeyChannel& channel, LaunchReport& report,
                std::string& diagnostic);

}  // namespace patcher::win
