#include "app/headless.h"

#include <windows.h>

#include "app/check_report.h"
#include "app/console_report.h"
#include "app/news_command.h"
#include "app/self_test.h"
#include "app/update_command.h"
#include "garun2/patcher_version.h"
#include "garun2/source_revision.h"
#include "win/engine/check.h"
#include "win/platform/http_client.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

int RunCheckCommand(const Arguments& parsed, bool print_launch_decision) {
    CheckOutcome outcome;
    RunCheck(parsed.config, outcome);
    PrintCheckReport(outcome, parsed.config.game_executable);
    if (print_launch_decision) PrintField(L"LAUNCH", outcome.may_launch ? L"ALLOWED" : L"BLOCKED");
    return static_cast<int>(outcome.code);
}

// What support asks first: which build is this. The same version as the file properties and the
// log banner, and the commit it was built from.
int PrintVersion() {
    PrintField(L"VERSION", Utf8ToWide(std::string(kPatcherVersion)));
    PrintField(L"REVISION", Utf8ToWide(std::string(GARUN2_SOURCE_REVISION)));
    return 0;
}

int RunCommand(const Arguments& parsed) {
    if (parsed.command == L"--version") return PrintVersion();
    if (parsed.command == L"--self-test") return RunSelfTest(parsed);
    if (parsed.command == L"--check") return RunCheckCommand(parsed, false);
    if (parsed.command == L"--launch-decision") return RunCheckCommand(parsed, true);
    if (parsed.command == L"--update") return RunUpdate(parsed);
    if (parsed.command == L"--news") return RunNews(parsed);
    // ParseArguments accepts no other command.
    PrintField(L"ERROR", L"unknown command: " + parsed.command);
    return 1;
}

void Hold(std::uint32_t milliseconds) {
    if (milliseconds == 0) return;
    PrintField(L"HOLDING_MS", FormatDecimal(milliseconds));
    Sleep(milliseconds);
}

}  // namespace

bool MayRunBesideAnotherInstance(const Arguments& parsed) {
    if (parsed.command == L"--version") return true;  // reads nothing, writes nothing
    if (parsed.command != L"--self-test") return false;
    const std::wstring& name = parsed.self_test_name;
    return name == L"atomic-interrupt-child" || name == L"self-update-apply" ||
           name == L"key-pipe-child" || name == L"self-update-window-apply" || name == L"noop";
}

int RunHeadless(const ArgumentList& arguments, bool single_instance) {
    LogOpen(ParentPath(ExecutablePath()), DefaultDataDirectory());
    const Arguments parsed = ParseArguments(arguments);
    if (!parsed.ok) {
        PrintField(L"ERROR", parsed.error);
        return 1;
    }
    LogLineWide(L"headless: " + parsed.command + L" " + parsed.self_test_name);
    if (!single_instance && !MayRunBesideAnotherInstance(parsed)) {
        PrintField(L"SINGLE_INSTANCE", L"ALREADY_RUNNING");
        return 0;
    }
    if (parsed.user_proxy) TakeProxyFromUserSettings();
    const int code = RunCommand(parsed);
    Hold(parsed.hold_milliseconds);
    return code;
}

}  // namespace patcher::app
