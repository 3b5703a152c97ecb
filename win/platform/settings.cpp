#include "win/platform/settings.h"

#include <windows.h>

#include <string_view>

#include "core/manifest.h"
#include "rules/download_limit.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr DWORD kReadChunk = 4096;

bool ReadCappedFile(const std::wstring& path, std::string& content) {
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char chunk[kReadChunk];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, kReadChunk, &got, nullptr)) return false;
        if (got == 0) return true;
        if (content.size() + got > kSettingsFileCap) return false;
        content.append(chunk, got);
    }
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::string_view FirstOffendingCharacter(const std::wstring& value) {
    for (const wchar_t c : value) {
        if (c < 0x20 || c == 0x7F) return "contains a control character";
        if (c == L'\\' || c == L'/') return "contains a path separator";
        if (c == L':') return "contains ':'";
        if (std::wstring_view(L"*?\"<>|").find(c) != std::wstring_view::npos) {
            return "contains a wildcard or a reserved character";
        }
    }
    return {};
}

}  // namespace

bool ReadSettingValue(const std::wstring& path, const std::wstring& key, std::wstring& value) {
    value.clear();
    if (path.empty() || key.empty()) return false;
    std::string bytes;
    if (!ReadCappedFile(path, bytes)) return false;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    const std::wstring text = Utf8ToWide(bytes);

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring_view line(text.data() + start, end - start);
        while (!line.empty() && (line.back() == L'\r' || IsBlank(line.back()))) {
            line.remove_suffix(1);
        }
        if (line.size() > key.size() && line.substr(0, key.size()) == key) {
            std::wstring_view rest = line.substr(key.size());
            while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
            value.assign(rest);
            return !value.empty();
        }
        start = end + 1;
    }
    return false;
}

std::string GameExeRefusalReason(const std::wstring& value) {
    if (value.empty()) return "empty";
    if (value.size() > 64) return "longer than 64 characters";
    const std::string_view offending = FirstOffendingCharacter(value);
    if (!offending.empty()) return std::string(offending);
    if (value == L"." || value == L"..") return "is a directory reference";
    if (value.find(L"..") != std::wstring::npos) return "contains '..'";
    if (value.back() == L'.' || value.back() == L' ') return "ends with a dot or a space";
    if (IsReservedDeviceName(WideToUtf8(value))) return "is a name Windows reserves for a device";
    return std::string();
}

std::wstring LoadGameExeSetting(const std::wstring& directory) {
    if (directory.empty()) return std::wstring();
    const std::wstring path = JoinPath(directory, L"patcher.cfg");
    std::wstring value;
    if (!ReadSettingValue(path, L"game-exe ", value)) return std::wstring();
    const std::string reason = GameExeRefusalReason(value);
    if (!reason.empty()) {
        LogLine("settings: game-exe refused (" + reason +
                "), falling back to the built-in default: " + WideToUtf8(value));
        return std::wstring();
    }
    LogLine("settings: game-exe = " + WideToUtf8(value) + "  (from " + WideToUtf8(path) + ")");
    return value;
}

std::uint64_t LoadDownloadLimitSetting(const std::wstring& directory) {
    if (directory.empty()) return 0;
    const std::wstring path = JoinPath(directory, L"patcher.cfg");
    std::wstring value;
    if (!ReadSettingValue(path, kDownloadLimitKey, value)) return 0;
    const DownloadLimitSetting setting = ParseDownloadLimit(value);
    LogLineWide(DownloadLimitLogLine(setting, value, path));
    return setting.bytes_per_second;
}

}  // namespace patcher::win
