#include "app/check_report.h"

#include "app/console_report.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

void PrintText(const wchar_t* key, const std::string& utf8) {
    PrintField(key, Utf8ToWide(utf8));
}

}  // namespace

void PrintCheckReport(const CheckOutcome& outcome, const std::wstring& game_executable) {
    PrintText(L"SOURCE", CheckSourceName(outcome.source));
    PrintField(L"NETWORK", YesNo(outcome.network));
    PrintField(L"CODE", FormatDecimal(static_cast<std::uint64_t>(outcome.code)));
    PrintText(L"VERSION", outcome.version);
    PrintText(L"CHANNEL", outcome.channel);
    PrintField(L"FILES", FormatDecimal(outcome.files));
    PrintField(L"DOWNLOAD_COUNT", FormatDecimal(outcome.diff.size()));
    PrintField(L"DOWNLOAD_BYTES", FormatDecimal(outcome.download_bytes));
    PrintField(L"DOWNLOAD_FETCH_BYTES", FormatDecimal(outcome.fetch_bytes));
    PrintField(L"SELF_UPDATE", YesNo(outcome.self_update));
    PrintText(L"SELF_UPDATE_SHA256", outcome.self_update_sha256);
    PrintField(L"GAME_EXE", game_executable);
    PrintField(L"GAME_EXE_IN_MANIFEST", YesNo(outcome.game_exe_in_manifest));
    PrintField(L"GAME_EXE_ON_DISK", YesNo(outcome.game_exe_on_disk));
    PrintText(L"GAME_EXE_MANIFEST_PATH", outcome.game_exe_manifest_path);
    PrintField(L"STATE_REBUILT", YesNo(outcome.state_rebuilt));
    PrintField(L"MAY_LAUNCH", YesNo(outcome.may_launch));
    PrintField(L"OFFER_PLAY_ANYWAY", YesNo(outcome.offer_play_anyway));
    PrintText(L"DIAGNOSTIC", outcome.diagnostic);
    PrintText(L"PLAYER", outcome.player);
    for (const DiffItem& item : outcome.diff) {
        WriteConsoleText(L"  NEED " + Utf8ToWide(DiffReasonName(item.reason)) + L" " +
                         Utf8ToWide(item.path) + L" " + std::to_wstring(item.size) + L"\r\n");
    }
}

}  // namespace patcher::app
