// The key path probes: a copy of the patcher is launched as the game ("fakegame.exe") with the key
// channel, plays the game's side as key-pipe-child and reports in NOTE lines what it received and
// whether the key shows in its command line or environment. The parent compares that with the
// keys it sent. Support staff paste these reports, and key-pipe-service hands out live keys: a key
// is only ever shown, and passed back by the child, as its length and SHA-256.
#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "app/console_report.h"
#include "app/self_test.h"
#include "core/sha256.h"
#include "win/launch/game_side_lines.h"
#include "win/launch/key_channel.h"
#include "win/launch/launch_game.h"
#include "win/launch/service_key_provider.h"
#include "win/platform/atomic_file.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/process.h"
#include "win/platform/secure_wipe.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

constexpr std::uint32_t kGameWaitMs = 30000;
constexpr wchar_t kChildHoldMs[] = L"300";
constexpr wchar_t kPlaceholderKeyService[] = L"https://key-service.invalid";
constexpr wchar_t kNotReported[] = L"(not reported)";

bool Contains(const std::string& text, const std::string& key) {
    return !key.empty() && text.find(key) != std::string::npos;
}

bool EnvironmentContains(const std::string& key) {
    wchar_t* block = GetEnvironmentStringsW();
    if (block == nullptr) return false;
    const wchar_t* end = block;
    while (*end != L'\0' || *(end + 1) != L'\0') ++end;
    const bool found = Contains(WideToUtf8(block, static_cast<std::size_t>(end - block)), key);
    FreeEnvironmentStringsW(block);
    return found;
}

// The keys handed to the game, in order, as the provider gave them out.
struct SentKeys {
    std::mutex lock;
    std::vector<std::string> keys;
    ~SentKeys() {
        for (std::string& key : keys) SecureWipe(key);
    }
    std::string At(std::size_t index) {
        const std::lock_guard<std::mutex> hold(lock);
        return index < keys.size() ? keys[index] : std::string();
    }
};

KeyProvider Recording(KeyProvider inner, std::shared_ptr<SentKeys> sent) {
    sent->keys.reserve(8);
    return [inner = std::move(inner), sent](std::string& key, std::string& reason) {
        if (!inner(key, reason)) return false;
        const std::lock_guard<std::mutex> hold(sent->lock);
        sent->keys.push_back(key);
        return true;
    };
}

KeyProvider TestProvider() {
    auto issued = std::make_shared<std::uint32_t>(0);
    return [issued](std::string& key, std::string&) {
        key = "TESTKEY-" + std::to_string(++*issued);
        return true;
    };
}

// The value of the child's note "NAME value"; false when it sent none.
bool ChildNote(const ChannelRecord& record, const std::string& name, std::string& value) {
    for (const std::string& note : record.notes) {
        if (note.rfind(name + " ", 0) == 0) {
            value = note.substr(name.size() + 1);
            return true;
        }
    }
    value.clear();
    return false;
}

std::wstring Reported(bool reported, const std::string& value) {
    return reported ? Utf8ToWide(value) : std::wstring(kNotReported);
}

// "LENGTH SHA256": what the child says of a key it received, and what the parent compares.
std::string KeyDigest(const std::string& key) {
    return std::to_string(key.size()) + " " + Sha256Hex(key);
}

// What the report shows of a key digest: "length=N sha256=" and the first 8 hex digits.
std::wstring ShownDigest(bool reported, const std::string& digest) {
    const std::size_t space = digest.find(' ');
    if (!reported || space == std::string::npos) return kNotReported;
    return Utf8ToWide("length=" + digest.substr(0, space) +
                      " sha256=" + digest.substr(space + 1, 8));
}

void PrintLaunch(bool launched, const std::string& diagnostic, const LaunchReport& report) {
    PrintField(L"LAUNCHED", YesNo(launched));
    PrintField(L"LAUNCH_DIAGNOSTIC", Utf8ToWide(diagnostic));
    PrintField(L"CHANNEL_ACTIVE", YesNo(report.channel_active));
    PrintField(L"KEY_SENT", YesNo(report.key_sent));
    PrintField(L"FETCH", Utf8ToWide(KeyFetchKindName(report.fetch_outcome)));
    PrintField(L"FETCH_STATUS", FormatDecimal(report.fetch_status));
    PrintField(L"RETRY_AFTER", FormatDecimal(report.retry_after));
    PrintField(L"FETCH_DIAGNOSTIC", Utf8ToWide(report.fetch_message));
}

// Digits only: the optional pause before the child's key request, passed through to it.
std::wstring ChildArguments(const std::wstring& pause) {
    std::wstring arguments = L"--headless --self-test key-pipe-child";
    const bool digits =
        !pause.empty() && pause.find_first_not_of(L"0123456789") == std::wstring::npos;
    if (digits) arguments += L" " + pause;
    return arguments + L" --hold-ms " + kChildHoldMs;
}

// Everything after the launch: what the child said, what was sent, and the verdicts.
bool ReportRound(const KeyChannel& channel, const PatcherConfig& config, SentKeys& sent) {
    channel.WaitFinished(kGameWaitMs);
    const ChannelRecord record = channel.Record();
    for (const std::string& note : record.notes) {
        WriteConsoleText(L"  NOTE " + Utf8ToWide(note) + L"\r\n");
    }
    std::string key1 = sent.At(0), key2 = sent.At(1);
    // The line StartProcess hands the game: the quoted executable, then the configured arguments.
    const std::string command_line = WideToUtf8(CommandLine(
        JoinPath(config.install_directory, config.game_executable), config.game_arguments));
    const bool cmdline_has = Contains(command_line, key1) || Contains(command_line, key2);
    const bool env_has = EnvironmentContains(key1) || EnvironmentContains(key2);
    std::string child_key1, child_key2, child_cmdline, child_env;
    const bool got1 = ChildNote(record, "KEY1", child_key1);
    const bool got2 = ChildNote(record, "KEY2", child_key2);
    const bool got_cmdline = ChildNote(record, "CMDLINE_HAS_KEY", child_cmdline);
    const bool got_env = ChildNote(record, "ENV_HAS_KEY", child_env);
    PrintField(L"KEY1", ShownDigest(!key1.empty(), KeyDigest(key1)));
    PrintField(L"KEY2", ShownDigest(!key2.empty(), KeyDigest(key2)));
    PrintField(L"CMDLINE_HAS_KEY", YesNo(cmdline_has));
    PrintField(L"ENV_HAS_KEY", YesNo(env_has));
    PrintField(L"KEYS_SENT", FormatDecimal(record.keys_sent));
    PrintField(L"CHILD_KEY1", ShownDigest(got1, child_key1));
    PrintField(L"CHILD_KEY2", ShownDigest(got2, child_key2));
    PrintField(L"CHILD_CMDLINE_HAS_KEY", Reported(got_cmdline, child_cmdline));
    PrintField(L"CHILD_ENV_HAS_KEY", Reported(got_env, child_env));
    PrintField(L"GAME_EXIT",
               record.exit_code_known ? FormatDecimal(record.exit_code) : kNotReported);
    const bool first = got1 && !key1.empty() && child_key1 == KeyDigest(key1);
    const bool second = got2 && !key2.empty() && child_key2 == KeyDigest(key2);
    const bool differ = first && second && key1 != key2;
    const bool cmdline_clean = !cmdline_has && child_cmdline == "no";
    const bool env_clean = !env_has && child_env == "no";
    const bool one_request = record.requests == 1;
    PrintField(L"FIRST_KEY_MATCHES", YesNo(first));
    PrintField(L"SECOND_KEY_MATCHES", YesNo(second));
    PrintField(L"KEYS_DIFFER", YesNo(differ));
    PrintField(L"CMDLINE_CLEAN", YesNo(cmdline_clean));
    PrintField(L"ENV_CLEAN", YesNo(env_clean));
    PrintField(L"ONE_KEYREQ", YesNo(one_request));
    SecureWipe(key1);
    SecureWipe(key2);
    return first && second && differ && cmdline_clean && env_clean && one_request;
}

}  // namespace

int RunKeyPipeRound(const Arguments& arguments, bool test_provider) {
    PatcherConfig config = arguments.config;
    const std::wstring fake = JoinPath(config.data_directory, L"fakegame.exe");
    if (config.data_directory.empty() || !EnsureDirectory(config.data_directory) ||
        !CopyFileW(ExecutablePath().c_str(), fake.c_str(), FALSE)) {
        PrintField(L"KEY_PIPE", L"COPY_FAILED");
        return 1;
    }
    config.install_directory = config.data_directory;
    config.game_executable = L"fakegame.exe";
    config.game_arguments = ChildArguments(arguments.self_test_argument);
    auto sent = std::make_shared<SentKeys>();
    KeyChannel channel;
    if (test_provider) {
        config.key_service = kPlaceholderKeyService;
        channel.SetProvider(Recording(TestProvider(), sent));
    } else {
        auto client = std::make_shared<const KeyClient>(config.key_service, kKeyClientVersion);
        auto outcome = std::make_shared<KeyFetchOutcome>();
        channel.SetProvider(Recording(MakeServiceKeyProvider(client, outcome), sent), outcome);
    }
    LaunchReport report;
    std::string diagnostic;
    const bool launched = LaunchGame(config, channel, report, diagnostic);
    PrintLaunch(launched, diagnostic, report);
    if (!launched) {
        PrintField(L"KEY_PIPE", L"LAUNCH_FAILED");
        return 1;
    }
    const bool ok = ReportRound(channel, config, *sent);
    channel.Close();
    const bool fetched = test_provider || report.fetch_outcome == KeyFetchKind::Ok;
    PrintField(L"KEY_PIPE", !fetched ? L"LAUNCHED_REGARDLESS" : ok ? L"OK" : L"FAILED");
    return ok && fetched ? 0 : 1;
}

int RunKeyPipeSelfTest(const Arguments& arguments) {
    return RunKeyPipeRound(arguments, true);
}

int RunKeyPipeServiceSelfTest(const Arguments& arguments) {
    return RunKeyPipeRound(arguments, false);
}

int RunKeyPipeChildSelfTest(const Arguments& arguments) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string first;
    if (!ReadPatcherLine(input, first)) {
        WriteGameLine(output, "NOTE NO_INPUT");
        return 1;
    }
    std::string key = KeyOfLine(first);
    const std::string command_line = WideToUtf8(GetCommandLineW());
    WriteGameLine(output, "NOTE KEY1 " + KeyDigest(key));
    WriteGameLine(output, "NOTE CMDLINE " + command_line);
    WriteGameLine(output, std::string("NOTE CMDLINE_HAS_KEY ") +
                              (Contains(command_line, key) ? "yes" : "no"));
    WriteGameLine(output,
                  std::string("NOTE ENV_HAS_KEY ") + (EnvironmentContains(key) ? "yes" : "no"));
    // A pause lets a test reach past the key service's Retry-After window before asking again.
    const std::wstring& pause = arguments.self_test_argument;
    if (!pause.empty()) Sleep(static_cast<DWORD>(std::wcstoul(pause.c_str(), nullptr, 10)));
    WriteGameLine(output, "KEYREQ");
    std::string second;
    if (!ReadPatcherLine(input, second)) {
        WriteGameLine(output, "NOTE NO_SECOND");
        return 1;
    }
    std::string key2 = KeyOfLine(second);
    WriteGameLine(output, "NOTE SECOND " + (key2.empty() ? second : std::string("KEY")));
    WriteGameLine(output, "NOTE KEY2 " + KeyDigest(key2));
    for (std::string* copy : {&key, &key2, &first, &second}) SecureWipe(*copy);
    return 0;
}

}  // namespace patcher::app
