// The download speed limit the player picks in the settings panel ("İndirme hızı sınırı") and
// patcher.cfg keeps beside the executable as one line, "download-limit-mb N" (N of 1, 2, 5, 10 or
// 20, in the MB of FormatSize) or "download-limit-mb none". The file's other lines stay as they
// are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace patcher::rules {

// ReadSettingValue's key, with its trailing space.
inline constexpr wchar_t kDownloadLimitKey[] = L"download-limit-mb ";
inline constexpr std::uint64_t kBytesPerMb = 1048576;
// The settings row's values in MB/s, in the order the arrows step through them; 0 is no limit.
inline constexpr std::array<std::uint32_t, 6> kDownloadLimitChoicesMb = {0, 1, 2, 5, 10, 20};

struct DownloadLimitSetting {
    std::uint64_t bytes_per_second = 0;  // 0: no limit, also for a refused value
    std::string refusal;                 // why the value was refused; empty when accepted
};
// The value ReadSettingValue found after the key.
DownloadLimitSetting ParseDownloadLimit(const std::wstring& value);
// The support-log line for a setting as read from `path`: accepted or refused.
std::wstring DownloadLimitLogLine(const DownloadLimitSetting& setting, const std::wstring& value,
                                  const std::wstring& path);

// patcher.cfg's text with the limit's line set: the first line ReadSettingValue would take is
// replaced, else the line is appended; the other lines, their order and line ends are kept.
std::string WithDownloadLimitLine(const std::string& file_text, std::uint64_t bytes_per_second);

// The settings row: the index of a limit among the choices (a limit that is none of them, as from
// --max-rate, shows as the nearest lower choice, or 1 MB/s below that).
std::size_t DownloadLimitChoice(std::uint64_t bytes_per_second);
std::uint64_t DownloadLimitOfChoice(std::size_t choice);

// "--max-rate BYTES": a whole number of bytes per second, 0 for no limit; nothing for other text.
std::optional<std::uint64_t> ParseMaxRateOption(const std::wstring& value);
// The command line wins over patcher.cfg.
std::uint64_t EffectiveDownloadLimit(std::optional<std::uint64_t> option,
                                     const DownloadLimitSetting& file_setting);

}  // namespace patcher::rules
