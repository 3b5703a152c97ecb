#include "tools/release/report.h"

#include <cstdio>

namespace patcher::release {

void PrintField(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
}

void PrintValidateReport(const ValidateReport& report, const Status& status) {
    auto yes_no = [](bool value) { return std::string(value ? "yes" : "no"); };
    PrintField("CODE", std::to_string(static_cast<int>(status.code)));
    PrintField("VERSION", report.version);
    PrintField("CHANNEL", report.channel);
    PrintField("COUNTER", report.counter);
    PrintField("SIGNING_KEY", report.signing_key_id);
    PrintField("FILES", std::to_string(report.file_count));
    PrintField("FILES_VERIFIED", std::to_string(report.files_verified));
    PrintField("ROLLBACK_CHECKED", yes_no(report.rollback_checked));
    PrintField("CONTENT_CHECKED", yes_no(report.content_checked));
    for (const std::string& note : report.notes) PrintField("NOTE", note);
    PrintField("DOWNLOAD_COUNT", std::to_string(report.diff.size()));
    for (const DiffItem& item : report.diff) {
        std::printf("  NEED %s %s %s\n", DiffReasonName(item.reason), item.path.c_str(),
                    std::to_string(item.size).c_str());
    }
    if (!status.ok()) PrintField("MESSAGE", status.message);
}

}  // namespace patcher::release
