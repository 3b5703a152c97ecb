// The demo's launcher: starts the installed game through the patcher's own launch path (LaunchGame
// with the key channel and keys from the key service), waits for the game to end and prints what
// the channel saw. Launch lines go to patcher.log beside this program. Its exit code is the game's
// (1 when the game did not start or its end was not seen).
//   demo_launch --install-dir DIR --key-service URL [--game-exe NAME]
#include <cstdio>
#include <string>

#include "rules/argument_list.h"
#include "win/launch/key_channel.h"
#include "win/launch/launch_game.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace {

using namespace patcher::rules;
using namespace patcher::win;

constexpr std::uint32_t kGameWaitMs = 60000;

void Print(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
}

PatcherConfig ConfigFrom(const ArgumentList& arguments) {
    PatcherConfig config;
    config.install_directory = ArgumentValue(arguments, L"--install-dir");
    config.key_service = ArgumentValue(arguments, L"--key-service");
    const std::wstring game = ArgumentValue(arguments, L"--game-exe");
    if (!game.empty()) config.game_executable = game;
    return config;
}

// The game's exit code; 1 when it was not seen.
int PrintChannel(const KeyChannel& channel) {
    const bool ended = channel.WaitFinished(kGameWaitMs);
    const ChannelRecord record = channel.Record();
    for (const std::string& note : record.notes) std::printf("  NOTE %s\n", note.c_str());
    Print("KEYS_SENT", std::to_string(record.keys_sent));
    Print("REQUESTS", std::to_string(record.requests));
    const bool known = ended && record.exit_code_known;
    Print("GAME_EXIT", known ? std::to_string(record.exit_code) : "still running");
    return known ? static_cast<int>(record.exit_code) : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    LogOpen(ParentPath(ExecutablePath()), std::wstring());
    const ArgumentList arguments(argv + 1, argv + argc);
    const PatcherConfig config = ConfigFrom(arguments);
    KeyChannel channel;
    LaunchReport report;
    std::string diagnostic;
    const bool started = LaunchGame(config, channel, report, diagnostic);
    Print("LAUNCHED", started ? "yes" : "no");
    Print("LAUNCH_DIAGNOSTIC", diagnostic);
    Print("CHANNEL_ACTIVE", report.channel_active ? "yes" : "no");
    Print("KEY_SENT", report.key_sent ? "yes" : "no");
    Print("FETCH", KeyFetchKindName(report.fetch_outcome));
    Print("FETCH_DIAGNOSTIC", report.fetch_message);
    if (!started) return 1;
    const int code = report.channel_active ? PrintChannel(channel) : 1;
    std::fflush(stdout);
    return code;
}
