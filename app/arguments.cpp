#include "app/arguments.h"

#include "app/default_config.h"
#include "rules/download_limit.h"
#include "win/platform/process.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

// Leading decimal digits, stopping at the first other character; wraps silently past 32 bits.
std::uint32_t LeadingNumber(const std::wstring& text) {
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        value = value * 10u + static_cast<std::uint32_t>(c - L'0');
    }
    return value;
}

bool IsCommandToken(const std::wstring& token) {
    return token == L"--check" || token == L"--update" || token == L"--launch-decision" ||
           token == L"--news" || token == L"--version";
}

void SetLevel(Arguments& parsed, const std::wstring& value) {
    if (value == L"full") {
        // Asked for on the command line, a full check is a repair: every file is read.
        parsed.config.check_level = CheckLevel::Full;
        parsed.config.hash_every_file = true;
    } else if (value == L"quick") {
        parsed.config.check_level = CheckLevel::Quick;
    } else if (value == L"size") {
        parsed.config.check_level = CheckLevel::Size;
    } else {
        parsed.ok = false;
        parsed.error = L"--level must be full, quick or size";
    }
}

// Given here it wins over patcher.cfg's line, which DefaultPatcherConfig has read.
void SetMaxRate(Arguments& parsed, const std::wstring& value) {
    const std::optional<std::uint64_t> rate = ParseMaxRateOption(value);
    if (rate) {
        parsed.config.download_rate_limit = *rate;
        return;
    }
    parsed.ok = false;
    parsed.error = L"--max-rate must be a whole number of bytes per second (0 for no limit)";
}

// Where an option works. The window honours the options that choose the release, the folders,
// the trust anchor, the game and the key service, and its own start-up switches; every other
// option would be ignored there, so a window start refuses it instead.
enum class Front { Both, Headless, Window };

struct Option {
    const wchar_t* name;
    Front front;
    bool takes_value;  // the next element, verbatim, even when it is empty or starts with "--"
    // What it does to the parse; null for a window switch that start-up reads itself.
    void (*apply)(Arguments& parsed, const std::wstring& value);
};

using A = Arguments;
using V = const std::wstring&;
constexpr Option kOptions[] = {
    {L"--base-url", Front::Both, true, [](A& a, V v) { a.config.base_url = v; }},
    {L"--install-dir", Front::Both, true, [](A& a, V v) { a.config.install_directory = v; }},
    {L"--data-dir", Front::Both, true, [](A& a, V v) { a.config.data_directory = v; }},
    {L"--root-key-b64", Front::Both, true, [](A& a, V v) { a.config.root_key = WideToUtf8(v); }},
    {L"--game-exe", Front::Both, true, [](A& a, V v) { a.config.game_executable = v; }},
    {L"--key-service", Front::Both, true, [](A& a, V v) { a.config.key_service = v; }},
    {L"--download-workers", Front::Headless, true,
     [](A& a, V v) { a.config.download_workers = LeadingNumber(v); }},
    {L"--now", Front::Headless, true, [](A& a, V v) { a.config.now = WideToUtf8(v); }},
    {L"--expect-version", Front::Headless, true,
     [](A& a, V v) { a.config.expected_version = WideToUtf8(v); }},
    {L"--level", Front::Headless, true, SetLevel},
    {L"--max-rate", Front::Headless, true, SetMaxRate},
    {L"--critical", Front::Headless, true,
     [](A& a, V v) { a.config.critical_paths.push_back(WideToUtf8(v)); }},
    {L"--user-owned", Front::Headless, true,
     [](A& a, V v) { a.config.user_owned_paths.push_back(WideToUtf8(v)); }},
    {L"--expect-sha256", Front::Headless, true,
     [](A& a, V v) { a.expected_sha256 = WideToUtf8(v); }},
    {L"--hold-ms", Front::Headless, true,
     [](A& a, V v) { a.hold_milliseconds = LeadingNumber(v); }},
    {L"--no-user-owned", Front::Headless, false,
     [](A& a, V) { a.config.user_owned_paths.clear(); }},
    {L"--offline", Front::Headless, false, [](A& a, V) { a.config.offline = true; }},
    {L"--user-proxy", Front::Headless, false, [](A& a, V) { a.user_proxy = true; }},
    {L"--after-self-update", Front::Window, false, nullptr},
    {L"--ui-selftest", Front::Window, false, nullptr},
    {L"--screenshots", Front::Window, true, nullptr},
};

const Option* FindOption(const std::wstring& token) {
    for (const Option& option : kOptions) {
        if (token == option.name) return &option;
    }
    return nullptr;
}

}  // namespace

Arguments ParseArguments(const ArgumentList& arguments) {
    Arguments parsed;
    parsed.config = DefaultPatcherConfig();
    // Headless runs reach a server only when told where: no built-in addresses here.
    parsed.config.base_url.clear();
    parsed.config.key_service.clear();

    const std::size_t count = arguments.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring& token = arguments[i];
        const bool has_next = i + 1 < count;
        if (token == L"--headless") continue;
        if (IsCommandToken(token)) {
            parsed.command = token;
        } else if (token == L"--self-test") {
            parsed.command = token;
            if (!has_next) {
                parsed.ok = false;
                parsed.error = L"--self-test needs a name";
                continue;
            }
            parsed.self_test_name = arguments[++i];
            if (i + 1 < count && arguments[i + 1].rfind(L"--", 0) != 0) {
                parsed.self_test_argument = arguments[++i];
            }
        } else if (const Option* option = FindOption(token);
                   option != nullptr && option->front != Front::Window) {
            // A value option given last is ignored without complaint.
            if (!option->takes_value) {
                option->apply(parsed, std::wstring());
            } else if (has_next) {
                option->apply(parsed, arguments[++i]);
            }
        } else {
            parsed.ok = false;
            parsed.error = L"unknown option: " + token;
        }
    }
    if (parsed.command.empty()) {
        parsed.ok = false;
        parsed.error = L"no command given";
    }
    return parsed;
}

void ApplyWindowOptions(const ArgumentList& arguments, PatcherConfig& config) {
    Arguments parsed;
    parsed.config = std::move(config);
    for (const Option& option : kOptions) {
        if (option.front != Front::Both) continue;
        const std::wstring value = ArgumentValue(arguments, option.name);
        if (!value.empty()) option.apply(parsed, value);
    }
    config = std::move(parsed.config);
}

std::wstring WindowRestartArguments(const ArgumentList& arguments) {
    std::wstring tail;
    for (const Option& option : kOptions) {
        if (option.front != Front::Both) continue;
        const std::wstring value = ArgumentValue(arguments, option.name);
        if (value.empty()) continue;
        if (!tail.empty()) tail += L" ";
        tail += std::wstring(option.name) + L" " + Quoted(value);
    }
    return tail;
}

std::optional<std::wstring> WindowRefusal(const ArgumentList& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& token = arguments[i];
        const Option* option = FindOption(token);
        if (option != nullptr && option->front != Front::Headless) {
            if (option->takes_value) ++i;
            continue;
        }
        if (option != nullptr || IsCommandToken(token) || token == L"--self-test") {
            return token + L" works only with --headless";
        }
        return L"unknown option: " + token;
    }
    return std::nullopt;
}

}  // namespace patcher::app
