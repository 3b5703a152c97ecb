// The operator's settings file "patcher.cfg" beside the executable and the line reader it shares
// with the legacy configuration check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace patcher::win {

// The largest settings file read; a bigger one counts as absent.
inline constexpr std::size_t kSettingsFileCap = 65536;

// Finds the first line that starts with `key` (which includes its trailing space) and is longer
// than it, and returns the rest without leading blanks. False when the file is missing,
// unreadable, larger than the cap, or holds no such line.
bool ReadSettingValue(const std::wstring& path, const std::wstring& key, std::wstring& value);

// The validated "game-exe" value of JoinPath(directory, "patcher.cfg"); empty when there is none
// or it is refused (the refusal is logged and the caller keeps its built-in name).
std::wstring LoadGameExeSetting(const std::wstring& directory);

// The download speed limit of JoinPath(directory, "patcher.cfg") in bytes per second; 0 when there
// is none or it is refused (both an accepted and a refused value are logged).
std::uint64_t LoadDownloadLimitSetting(const std::wstring& directory);

// Why a game executable name is refused, or empty when it is acceptable.
std::string GameExeRefusalReason(const std::wstring& value);

}  // namespace patcher::win
