#include "app/default_config.h"

#include "app/build_settings.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/settings.h"

namespace patcher::app {

using namespace rules;
using namespace win;

PatcherConfig DefaultPatcherConfig() {
    PatcherConfig config;
    config.base_url = kBuiltInReleaseUrl;
    config.root_key = kEmbeddedRootKey;
    config.data_directory = DefaultDataDirectory();
    config.install_directory = DefaultInstallDirectory();
    config.game_executable = L"Velmor2.exe";
    const std::wstring beside_exe = ParentPath(ExecutablePath());
    const std::wstring configured = LoadGameExeSetting(beside_exe);
    if (!configured.empty()) config.game_executable = configured;
    config.download_rate_limit = LoadDownloadLimitSetting(beside_exe);
    config.key_service = kBuiltInKeyService;
    return config;
}

}  // namespace patcher::app
