// The game's own display settings file (garun2.cfg) as the settings panel edits it. The game owns
// the file, so everything the editor does not understand (comments, blank lines, other keys, odd
// spacing, their order) is kept exactly, and so are the line ends of a file that uses one kind; a
// file that mixes LF and CR LF is written back with CR LF throughout. A file that does not look
// like the game's configuration is refused rather than rewritten, and SerializeForSave refuses a
// document whose file the next load would refuse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher::model {

inline constexpr std::size_t kMaxGameConfigBytes = 65536;
inline constexpr std::size_t kMaxGameConfigLines = 512;

// One line, split at its first space or tab: the key before it, the whole run of spaces and tabs
// after it, and the rest. An empty line, one that starts with a space or tab, or one with neither
// has only `raw`: it is never matched and always written back as it was.
struct GameConfigLine {
    std::string raw;  // without its line end
    std::string key;
    std::string separator;
    std::string value;
};

struct DisplayMode {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const DisplayMode&) const = default;
};

struct GameConfig {
    std::vector<GameConfigLine> lines;
    bool crlf = false;          // some line ended in CR LF: every line is written back that way
    bool final_newline = true;  // the last line ended in a line feed (true for an empty file)
    std::vector<DisplayMode> modes;  // the display's modes, sorted (NormaliseDisplayModes)
    bool snapped = false;  // the last resolution step moved a size that is not a mode onto one
};

// Refuses more than kMaxGameConfigBytes bytes or more than kMaxGameConfigLines lines (BadFormat).
Result<GameConfig> ParseGameConfig(std::string_view bytes);
// Unchanged files with consistent line ends come back byte for byte.
std::string SerializeGameConfig(const GameConfig& config);
// SerializeGameConfig's bytes when the next ParseGameConfig accepts them, else BadFormat naming the
// cap they pass: a file saved over a cap would lock the panel out of it for good.
Result<std::string> SerializeForSave(const GameConfig& config);

// Keys match without regard to ASCII letter case; the last matching line wins.
std::string GetValue(const GameConfig& config, std::string_view key);
// An optional "-" and the leading digits (reading stops once the value exceeds 1,000,000);
// `fallback` when the key is absent, empty or starts with no digit.
std::int32_t GetInt(const GameConfig& config, std::string_view key, std::int32_t fallback);
// Rewrites every matching line keeping its key's letter case and its separator; a new key goes in
// with a tab before the first blank line (at the end when there is none, but before a last line
// that ends in a CR without an LF, so that CR stays where it was read).
void SetValue(GameConfig& config, std::string_view key, std::string_view value);

// The panel's rows.
enum class SettingRow : std::int32_t {
    FullScreen = 0,      // WINDOWED, 1 = windowed
    Resolution = 1,      // WIDTH and HEIGHT, one of the display modes
    Brightness = 2,      // GAMMA 0..4
    SoftwareCursor = 3,  // SOFTWARE_CURSOR 0 or 1
};

// One step of a row (direction -1 or +1, anything else changes nothing). Clears `snapped` first.
// True when the document changed.
bool StepSetting(GameConfig& config, int row, int direction);

// The mode to use for a size the list does not hold: the nearest by area among modes of the same
// aspect ratio when there are any, else among all; ties go to the later mode. 0 for an empty list,
// the last index for a non-positive size.
std::size_t SnapToMode(const std::vector<DisplayMode>& modes, std::int32_t width,
                       std::int32_t height);

// The display's 32-bit modes as the panel offers them: at least 800 x 600, sorted by width then
// height, without duplicates.
std::vector<DisplayMode> NormaliseDisplayModes(std::vector<DisplayMode> modes);

// True while WINDOWED is not 1.
bool IsFullScreen(const GameConfig& config);

// The text between a row's arrows.
std::wstring SettingValueText(const GameConfig& config, int row);
// The arrow of `direction` is at its limit and drawn dimmed.
bool SettingArrowAtLimit(const GameConfig& config, int row, int direction);
// The value text is muted: the file cannot be edited, or the resolution while in full screen.
bool SettingValueMuted(const GameConfig& config, int row, bool editable);

// The notes under the save button: the panel message and a blank line when there is one, the
// full-screen note and a blank line when editable in full screen, then the note that changes apply
// at the game's next start. Lines end in CR LF.
std::wstring SettingsNotesText(const std::wstring& message, bool editable, bool full_screen);

}  // namespace patcher::model
