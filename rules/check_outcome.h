// The result of one check: what the download, the self-update, the headless report and the
// window consume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/install_diff.h"
#include "core/status.h"
#include "rules/http_types.h"

namespace patcher::rules {

enum class CheckSource : std::int32_t { None = 0, Network = 1, Local = 2 };

const char* CheckSourceName(CheckSource source);

struct CheckOutcome {
    StatusCode code = StatusCode::BadInput;
    CheckSource source = CheckSource::None;
    bool network = false;
    HttpError fetch_error = HttpError::Ok;  // of the metadata fetch that failed; OK when none did
    bool may_launch = false;
    bool offer_play_anyway = false;
    std::string version;
    std::string channel;
    std::uint32_t files = 0;
    std::vector<DiffItem> diff;
    std::uint64_t download_bytes = 0;
    // What the download will fetch: a file with a planned delta counts as the delta's bytes.
    std::uint64_t fetch_bytes = 0;
    bool self_update = false;
    std::string self_update_sha256;
    bool game_exe_in_manifest = false;
    bool game_exe_on_disk = false;
    std::string game_exe_manifest_path;
    std::string game_exe_same_name_path;
    bool state_rebuilt = false;
    std::string diagnostic;
    std::string player;  // UTF-8, Turkish
};

// The patcher's own manifest entry: exactly this path, at the root of the install tree.
inline constexpr char kPatcherManifestPath[] = "Velmor2Launcher.exe";

}  // namespace patcher::rules
