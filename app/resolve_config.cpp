#include "app/resolve_config.h"

#include <windows.h>

#include "app/build_settings.h"
#include "app/default_config.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/settings.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

void LogResolved(const PatcherConfig& config) {
    LogLineWide(L"install-dir: " + config.install_directory);
    LogLineWide(L"data-dir:    " + config.data_directory);
    // Support must see at a glance when a run trusts something other than the built-in anchor.
    const bool embedded = config.root_key == kEmbeddedRootKey;
    LogLine("root-key:    " + config.root_key +
            (embedded ? "  (embedded in this executable)"
                      : "  *** COMMAND-LINE OVERRIDE -- this is NOT the embedded anchor ***"));
    LogLineWide(L"game-exe:    " + config.game_executable);
    LogLineWide(L"base-url:    " + config.base_url);
    LogLineWide(L"log:         " + LogPath());
}

void WarnAboutLegacyConfig(const PatcherConfig& config) {
    std::wstring legacy;
    if (ReadSettingValue(JoinPath(config.data_directory, L"config.txt"), L"install-dir ", legacy) &&
        !legacy.empty()) {
        LogLineWide(
            L"legacy config.txt names an older install directory, IGNORED (the game now lives in "
            L"the game folder under the patcher): " +
            legacy);
    }
}

void WarnAboutOlderInstallation(const PatcherConfig& config) {
    const std::wstring folder = ParentPath(ExecutablePath());
    if (folder.empty() || config.game_executable.empty()) return;
    if (!PathExists(JoinPath(folder, config.game_executable))) return;
    LogLineWide(L"an older installation is lying directly next to the patcher (" +
                config.game_executable +
                L" is here). It is NOT used and NOT moved: the game is now installed into " +
                config.install_directory +
                L" and will be downloaded again. The old files can be deleted by hand once the "
                L"new installation starts.");
}

}  // namespace

PatcherConfig ResolveConfig(const ArgumentList& arguments) {
    PatcherConfig config = DefaultPatcherConfig();
    ApplyWindowOptions(arguments, config);
    LogResolved(config);
    WarnAboutLegacyConfig(config);
    WarnAboutOlderInstallation(config);
    return config;
}

}  // namespace patcher::app
