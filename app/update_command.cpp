#include "app/update_command.h"

#include <optional>

#include "app/check_report.h"
#include "app/console_report.h"
#include "win/engine/check.h"
#include "win/engine/download.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

int RunUpdate(const Arguments& arguments) {
    const PatcherConfig config = arguments.config;
    CheckOutcome outcome;
    RunCheck(config, outcome);
    PrintCheckReport(outcome, config.game_executable);
    if (outcome.code != StatusCode::Ok) return static_cast<int>(outcome.code);

    // One line per file as it comes up; byte progress prints nothing.
    std::optional<std::uint32_t> printed;
    DownloadProgress last;
    const auto on_progress = [&printed, &last](const DownloadProgress& progress) {
        last = progress;
        if (printed == progress.file_index) return;
        printed = progress.file_index;
        WriteConsoleText(L"  GET [" + FormatDecimal(progress.file_index + std::uint64_t{1}) + L"/" +
                         FormatDecimal(progress.file_count) + L"] " +
                         Utf8ToWide(progress.current_path) + L"\r\n");
    };
    std::string error;
    const DownloadCode result = RunDownload(config, outcome, on_progress, nullptr, error);
    PrintField(L"DOWNLOAD_CODE", FormatDecimal(static_cast<std::uint64_t>(result)));
    PrintField(L"DOWNLOAD_DIAGNOSTIC", Utf8ToWide(error));
    PrintField(L"DOWNLOAD_BYTES_FETCHED", FormatDecimal(last.bytes_fetched));
    PrintField(L"DOWNLOAD_BYTES_REUSED", FormatDecimal(last.bytes_reused));
    if (result == DownloadCode::Committed && outcome.self_update)
        PrintField(L"SELF_UPDATE_READY", L"yes");
    return static_cast<int>(result);
}

}  // namespace patcher::app
