#include "rules/download_limit.h"

#include <algorithm>

#include "rules/wide_text.h"

namespace patcher::rules {
namespace {

constexpr char kKeyText[] = "download-limit-mb";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The line's text without the blanks and CR ReadSettingValue trims from its end.
std::string Trimmed(const std::string& line) {
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    return line.substr(0, end);
}

std::string LimitValueText(std::uint64_t bytes_per_second) {
    if (bytes_per_second == 0) return "none";
    return std::to_string(bytes_per_second / kBytesPerMb);
}

}  // namespace

DownloadLimitSetting ParseDownloadLimit(const std::wstring& value) {
    if (value == L"none") return {};
    for (const std::uint32_t mb : kDownloadLimitChoicesMb) {
        if (mb != 0 && value == std::to_wstring(mb)) return {mb * kBytesPerMb, {}};
    }
    return {0, "not one of none, 1, 2, 5, 10, 20 (MB/s)"};
}

std::wstring DownloadLimitLogLine(const DownloadLimitSetting& setting, const std::wstring& value,
                                  const std::wstring& path) {
    const std::wstring key = WidenUtf8(kKeyText);
    if (!setting.refusal.empty()) {
        return L"settings: " + key + L" refused (" + WidenUtf8(setting.refusal) +
               L"), downloading without a limit: " + value;
    }
    return L"settings: " + key + L" = " + value + L"  (from " + path + L")";
}

std::string WithDownloadLimitLine(const std::string& file_text, std::uint64_t bytes_per_second) {
    const std::string key = std::string(kKeyText) + " ";
    const std::string line = key + LimitValueText(bytes_per_second);
    std::size_t start = 0;
    // Past a byte-order mark, as the reader skips it.
    if (file_text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    while (start < file_text.size()) {
        std::size_t end = file_text.find('\n', start);
        if (end == std::string::npos) end = file_text.size();
        const std::string text = Trimmed(file_text.substr(start, end - start));
        if (text.size() > key.size() && text.compare(0, key.size(), key) == 0) {
            const bool cr = end > start && file_text[end - 1] == '\r';
            return file_text.substr(0, start) + line + (cr ? "\r" : "") + file_text.substr(end);
        }
        start = end + 1;
    }
    std::string out = file_text;
    const bool crlf = file_text.find("\r\n") != std::string::npos;
    if (!out.empty() && out.back() != '\n') out += crlf ? "\r\n" : "\n";
    return out + line + (crlf ? "\r\n" : "\n");
}

std::size_t DownloadLimitChoice(std::uint64_t bytes_per_second) {
    if (bytes_per_second == 0) return 0;
    std::size_t choice = 1;
    for (std::size_t i = 1; i < kDownloadLimitChoicesMb.size(); ++i) {
        if (kDownloadLimitChoicesMb[i] * kBytesPerMb <= bytes_per_second) choice = i;
    }
    return choice;
}

std::uint64_t DownloadLimitOfChoice(std::size_t choice) {
    if (choice >= kDownloadLimitChoicesMb.size()) return 0;
    return kDownloadLimitChoicesMb[choice] * kBytesPerMb;
}

std::optional<std::uint64_t> ParseMaxRateOption(const std::wstring& value) {
    if (value.empty() || value.size() > 19) return std::nullopt;
    std::uint64_t rate = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'9') return std::nullopt;
        rate = rate * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return rate;
}

std::uint64_t EffectiveDownloadLimit(std::optional<std::uint64_t> option,
                                     const DownloadLimitSetting& file_setting) {
    return option ? *option : file_setting.bytes_per_second;
}

}  // namespace patcher::rules
