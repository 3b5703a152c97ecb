#include "win/launch/launch_game.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "win/launch/inherited_handle_list.h"
#include "win/launch/key_client.h"
#include "win/launch/service_key_provider.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {
namespace {

struct Launch {
    std::wstring exe;
    std::wstring directory;
    std::vector<wchar_t> command_line;  // CreateProcessW may write into it
    std::string summary;                // ends every log line of the launch
};

Launch PrepareLaunch(const PatcherConfig& config) {
    Launch launch;
    launch.exe = JoinPath(config.install_directory, config.game_executable);
    launch.directory = config.install_directory;
    const std::wstring line = GameCommandLine(launch.exe, config.game_arguments);
    launch.command_line.assign(line.begin(), line.end());
    launch.command_line.push_back(L'\0');
    launch.summary = " :: exe=" + WideToUtf8(launch.exe) + " cwd=" + WideToUtf8(launch.directory) +
                     " key-path=" + (config.key_service.empty() ? "off" : "on");
    return launch;
}

void LogLaunch(const Launch& launch, const std::string& message) {
    LogLine("launch: " + message + launch.summary);
}

bool StartPlain(Launch& launch, std::string& diagnostic) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(launch.exe.c_str(), launch.command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, launch.directory.c_str(), &startup, &info)) {
        diagnostic = "CreateProcessW failed with " + std::to_string(GetLastError());
        LogLaunch(launch, diagnostic);
        return false;
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
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

bool StartWithKeyChannel(const PatcherConfig& config, Launch& launch, KeyChannel& channel,
                         LaunchReport& report, std::string& diagnostic) {
    if (!channel.has_provider()) InstallServiceProvider(config, channel);
    std::string message;
    // The caller sees these failures too, not only the support log.
    if (!channel.Create(message)) {
        diagnostic = "key channel create failed: " + message;
        LogLaunch(launch, diagnostic);
        return false;
    }
    InheritedHandleList inherited;
    if (!inherited.Build({channel.game_input(), channel.game_output()}, message)) {
        diagnostic = "inherit list failed: " + message;
        LogLaunch(launch, diagnostic);
        return false;
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = channel.game_input();
    startup.StartupInfo.hStdOutput = channel.game_output();
    startup.StartupInfo.hStdError = channel.game_output();
    startup.lpAttributeList = inherited.get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(launch.exe.c_str(), launch.command_line.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT, nullptr, launch.directory.c_str(),
                        &startup.StartupInfo, &info)) {
        diagnostic = "CreateProcessW failed with " + std::to_string(GetLastError());
        LogLaunch(launch, diagnostic);
        channel.Close();
        return false;
    }
    CloseHandle(info.hThread);
    if (!channel.Attach(unique_handle(info.hProcess), message)) {
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

std::wstring GameCommandLine(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    return line;
}

bool LaunchGame(const PatcherConfig& config, KeyChannel& channel, LaunchReport& report,
                std::string& diagnostic) {
    diagnostic.clear();
    report = LaunchReport{};
    Launch launch = PrepareLaunch(config);
    if (GetFileAttributesW(launch.exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        diagnostic = "game executable not found: " + WideToUtf8(launch.exe);
        LogLaunch(launch, diagnostic);
        return false;
    }
    if (config.key_service.empty()) return StartPlain(launch, diagnostic);
    return StartWithKeyChannel(config, launch, channel, report, diagnostic);
}

}  // namespace patcher::win
