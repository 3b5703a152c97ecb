#include "win/launch/launch_game.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <utility>

#include "win/launch/key_client.h"
#include "win/launch/service_key_provider.h"
#include "win/platform/paths.h"
#include "win/platform/process.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

struct Launch {
    ProcessStart start;   // the game's own folder as its working folder
    std::string summary;  // ends every log line of the launch
};

Launch PrepareLaunch(const PatcherConfig& config) {
    Launch launch;
    const std::wstring exe = JoinPath(config.install_directory, config.game_executable);
    launch.start = {exe, config.game_arguments, config.install_directory};
    launch.summary = " :: exe=" + WideToUtf8(exe) + " cwd=" + WideToUtf8(config.install_directory) +
                     " key-path=" + (config.key_service.empty() ? "off" : "on");
    return launch;
}

void LogLaunch(const Launch& launch, const std::string& message) {
    LogLine("launch: " + message + launch.summary);
}

void LogStartFailure(const Launch& launch, const StartedProcess& started, std::string& diagnostic) {
    diagnostic = "CreateProcessW failed with " + std::to_string(started.error);
    LogLaunch(launch, diagnostic);
}

// Nothing of ours is inherited: without a key channel the game needs no handle of the patcher.
bool StartPlain(const Launch& launch, std::string& diagnostic) {
    const StartedProcess started = StartProcess(launch.start);
    if (!started.ok()) {
        LogStartFailure(launch, started, diagnostic);
        return false;
    }
    LogLaunch(launch, "started");
    return true;
}

void InstallServiceProvider(const PatcherConfig& config, KeyChannel& channel) {
    auto client = std::make_shared<const KeyClient>(config.key_service, kKeyClientVersion);
    auto outcome = std::make_shared<KeyFetchOutcome>();
    channel.SetProvider(MakeServiceKeyProvider(client, outcome), outcome);
}

void CopyFetchOutcome(const std::optional<KeyFetchOutcome>& outcome, LaunchReport& report) {
    if (!outcome) return;
    report.fetch_outcome = outcome->kind;
    report.fetch_status = outcome->status;
    report.retry_after = outcome->retry_after;
    report.fetch_message = outcome->message;
}

bool StartWithKeyChannel(const PatcherConfig& config, const Launch& launch, KeyChannel& channel,
                         LaunchReport& report, std::string& diagnostic) {
    if (!channel.has_provider()) InstallServiceProvider(config, channel);
    std::string message;
    // The caller sees these failures too, not only the support log.
    if (!channel.Create(message)) {
        diagnostic = "key channel create failed: " + message;
        LogLaunch(launch, diagnostic);
        return false;
    }
    // The game's standard handles are the channel's ends and it inherits those two only.
    ProcessStart start = launch.start;
    start.std_handles =
        StdHandles{channel.game_input(), channel.game_output(), channel.game_output()};
    start.inherit = {channel.game_input(), channel.game_output()};
    StartedProcess started = StartProcess(start);
    if (!started.list_failure.empty()) {
        diagnostic = "inherit list failed: " + started.list_failure;
        LogLaunch(launch, diagnostic);
        return false;
    }
    if (!started.ok()) {
        LogStartFailure(launch, started, diagnostic);
        channel.Close();
        return false;
    }
    unique_handle game = started.process.take_process();
    started.process.reset();  // the game's first thread is no business of ours
    if (!channel.Attach(std::move(game), message)) {
        LogLaunch(launch, "started, key channel not attached: " + message);
        channel.Close();
        return true;
    }
    report.channel_active = true;
    std::string reason;
    // The outcome of this very fetch: the channel's shared one may already tell of a later request.
    std::optional<KeyFetchOutcome> first_fetch;
    report.key_sent = channel.SendKey(reason, &first_fetch);
    CopyFetchOutcome(first_fetch, report);
    LogLaunch(launch, std::string("started, key channel attached, key-sent=") +
                          (report.key_sent ? "1" : "0"));
    return true;
}

}  // namespace

bool LaunchGame(const PatcherConfig& config, KeyChannel& channel, LaunchReport& report,
                std::string& diagnostic) {
    diagnostic.clear();
    report = LaunchReport{};
    Launch launch = PrepareLaunch(config);
    if (GetFileAttributesW(launch.start.executable.c_str()) == INVALID_FILE_ATTRIBUTES) {
        diagnostic = "game executable not found: " + WideToUtf8(launch.start.executable);
        LogLaunch(launch, diagnostic);
        return false;
    }
    if (config.key_service.empty()) return StartPlain(launch, diagnostic);
    return StartWithKeyChannel(config, launch, channel, report, diagnostic);
}

}  // namespace patcher::win
