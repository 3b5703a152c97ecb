#include "model/game_config.h"

#include <algorithm>
#include <cstdlib>

#include "model/window_texts.h"

namespace patcher::model {
namespace {

constexpr std::int32_t kDefaultWidth = 1024;
constexpr std::int32_t kDefaultHeight = 768;
constexpr std::int32_t kDefaultGamma = 3;
constexpr std::int32_t kMaxGamma = 4;
constexpr std::int32_t kGetIntLimit = 1000000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

GameConfigLine SplitLine(std::string_view raw) {
    GameConfigLine line;
    line.raw = std::string(raw);
    const std::size_t split = raw.find_first_of(" \t");
    if (raw.empty() || split == 0 || split == std::string_view::npos) return line;
    std::size_t value_start = split;
    while (value_start < raw.size() && IsBlank(raw[value_start])) ++value_start;
    line.key = std::string(raw.substr(0, split));
    line.separator = std::string(raw.substr(split, value_start - split));
    line.value = std::string(raw.substr(value_start));
    return line;
}

// Where a new key goes: before the first line that holds only white space, so a trailing block of
// blank lines stays at the end. Never after a last line that ends in a CR with no LF after it: a
// line end written after it would make that CR part of a CR LF, which the next load reads as one.
std::size_t InsertionPoint(const GameConfig& config) {
    const std::vector<GameConfigLine>& lines = config.lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].raw.find_first_not_of(" \t\v\f\r") == std::string::npos) return i;
    }
    if (!config.final_newline && !lines.empty() && lines.back().raw.ends_with('\r')) {
        return lines.size() - 1;
    }
    return lines.size();
}

void SetDecimal(GameConfig& config, std::string_view key, std::int32_t value) {
    SetValue(config, key, std::to_string(value));
}

DisplayMode CurrentMode(const GameConfig& config) {
    return {GetInt(config, "WIDTH", kDefaultWidth), GetInt(config, "HEIGHT", kDefaultHeight)};
}

// Index of the current size in the mode list, or -1.
std::ptrdiff_t CurrentModeIndex(const GameConfig& config) {
    const auto found = std::find(config.modes.begin(), config.modes.end(), CurrentMode(config));
    return found == config.modes.end() ? -1 : found - config.modes.begin();
}

std::int32_t Gamma(const GameConfig& config) {
    return std::clamp(GetInt(config, "GAMMA", kDefaultGamma), 0, kMaxGamma);
}

bool StepResolution(GameConfig& config, int direction) {
    if (config.modes.empty()) return false;
    const std::ptrdiff_t current = CurrentModeIndex(config);
    std::size_t target = 0;
    if (current < 0) {
        // A size the display does not offer is first moved onto the nearest mode; the step itself
        // is not applied, so the player sees where they are before going on.
        const DisplayMode size = CurrentMode(config);
        target = SnapToMode(config.modes, size.width, size.height);
        config.snapped = true;
    } else {
        const std::ptrdiff_t next = current + direction;
        if (next < 0 || next >= static_cast<std::ptrdiff_t>(config.modes.size())) return false;
        target = static_cast<std::size_t>(next);
    }
    SetDecimal(config, "WIDTH", config.modes[target].width);
    SetDecimal(config, "HEIGHT", config.modes[target].height);
    return true;
}

std::uint64_t AbsoluteDifference(std::int64_t a, std::int64_t b) {
    return a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                  : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

// ParseGameConfig without its guess at why a file passes a cap, which is wrong for the bytes the
// panel itself would write.
Result<GameConfig> ParseWithinCaps(std::string_view bytes) {
    if (bytes.size() > kMaxGameConfigBytes) {
        return Status(StatusCode::BadFormat, "game config is larger than the cap (" +
                                                 std::to_string(bytes.size()) + " bytes)");
    }
    GameConfig config;
    config.crlf = bytes.find("\r\n") != std::string_view::npos;
    config.final_newline = false;
    std::size_t start = 0;
    while (true) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos && start == bytes.size()) {
            config.final_newline = true;
            break;
        }
        std::string_view piece =
            bytes.substr(start, lf == std::string_view::npos ? bytes.npos : lf - start);
        // Only a CR that ends a line (before its LF) is a line end; a last line without an LF
        // keeps a trailing CR, so writing it back loses nothing.
        if (lf != std::string_view::npos && !piece.empty() && piece.back() == '\r') {
            piece.remove_suffix(1);
        }
        config.lines.push_back(SplitLine(piece));
        if (config.lines.size() > kMaxGameConfigLines) {
            return Status(StatusCode::BadFormat, "game config has more lines than the cap");
        }
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return config;
}

}  // namespace

Result<GameConfig> ParseGameConfig(std::string_view bytes) {
    Result<GameConfig> parsed = ParseWithinCaps(bytes);
    if (parsed.ok()) return parsed;
    return Status(parsed.status().code,
                  parsed.status().message + " -- this is probably not garun2.cfg");
}

std::string SerializeGameConfig(const GameConfig& config) {
    const char* end = config.crlf ? "\r\n" : "\n";
    std::string out;
    for (std::size_t i = 0; i < config.lines.size(); ++i) {
        if (i > 0) out += end;
        out += config.lines[i].raw;
    }
    if (!config.lines.empty() && config.final_newline) out += end;
    return out;
}

Result<std::string> SerializeForSave(const GameConfig& config) {
    std::string bytes = SerializeGameConfig(config);
    const Result<GameConfig> reloaded = ParseWithinCaps(bytes);
    if (!reloaded.ok()) return reloaded.status();
    return bytes;
}

std::string GetValue(const GameConfig& config, std::string_view key) {
    for (auto line = config.lines.rbegin(); line != config.lines.rend(); ++line) {
        if (!line->key.empty() && SameKey(line->key, key)) return line->value;
    }
    return std::string();
}

std::int32_t GetInt(const GameConfig& config, std::string_view key, std::int32_t fallback) {
    const std::string text = GetValue(config, key);
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    std::int32_t value = 0;
    bool any_digit = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= kGetIntLimit; ++i) {
        value = value * 10 + (text[i] - '0');
        any_digit = true;
    }
    if (!any_digit) return fallback;
    return negative ? -value : value;
}

void SetValue(GameConfig& config, std::string_view key, std::string_view value) {
    bool matched = false;
    for (GameConfigLine& line : config.lines) {
        if (line.key.empty() || !SameKey(line.key, key)) continue;
        line.value = std::string(value);
        line.raw = line.key + line.separator + line.value;
        matched = true;
    }
    if (matched) return;
    GameConfigLine added;
    added.key = std::string(key);
    added.separator = "\t";
    added.value = std::string(value);
    added.raw = added.key + added.separator + added.value;
    const std::size_t at = InsertionPoint(config);
    config.lines.insert(config.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(added));
}

bool StepSetting(GameConfig& config, int row, int direction) {
    config.snapped = false;
    if (direction != -1 && direction != 1) return false;
    switch (static_cast<SettingRow>(row)) {
        case SettingRow::FullScreen:
            SetValue(config, "WINDOWED", GetInt(config, "WINDOWED", 0) == 1 ? "0" : "1");
            return true;
        case SettingRow::Resolution:
            return StepResolution(config, direction);
        case SettingRow::Brightness: {
            const std::int32_t next = Gamma(config) + direction;
            if (next < 0 || next > kMaxGamma) return false;
            SetDecimal(config, "GAMMA", next);
            return true;
        }
        case SettingRow::SoftwareCursor:
            SetValue(config, "SOFTWARE_CURSOR",
                     GetInt(config, "SOFTWARE_CURSOR", 0) == 0 ? "1" : "0");
            return true;
    }
    return false;
}

std::size_t SnapToMode(const std::vector<DisplayMode>& modes, std::int32_t width,
                       std::int32_t height) {
    if (modes.empty()) return 0;
    if (width < 1 || height < 1) return modes.size() - 1;
    // Equal reduced ratios compare as equal cross products, which needs no reduction and treats a
    // mode with a non-positive side as having no ratio at all.
    auto same_aspect = [&](const DisplayMode& m) {
        return m.width > 0 && m.height > 0 &&
               static_cast<std::int64_t>(m.width) * height ==
                   static_cast<std::int64_t>(m.height) * width;
    };
    const std::int64_t area = static_cast<std::int64_t>(width) * height;
    auto distance = [&](const DisplayMode& m) {
        return AbsoluteDifference(static_cast<std::int64_t>(m.width) * m.height, area);
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < modes.size(); ++i) {
        const bool aspect = same_aspect(modes[i]);
        const bool best_aspect = same_aspect(modes[best]);
        if ((aspect && !best_aspect) ||
            (aspect == best_aspect && distance(modes[i]) <= distance(modes[best]))) {
            best = i;
        }
    }
    return best;
}

std::vector<DisplayMode> NormaliseDisplayModes(std::vector<DisplayMode> modes) {
    std::erase_if(modes, [](const DisplayMode& m) { return m.width < 800 || m.height < 600; });
    std::sort(modes.begin(), modes.end(), [](const DisplayMode& a, const DisplayMode& b) {
        return a.width != b.width ? a.width < b.width : a.height < b.height;
    });
    modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
    return modes;
}

bool IsFullScreen(const GameConfig& config) {
    return GetInt(config, "WINDOWED", 0) != 1;
}

std::wstring SettingValueText(const GameConfig& config, int row) {
    switch (static_cast<SettingRow>(row)) {
        case SettingRow::FullScreen:
            return IsFullScreen(config) ? kTextOn : kTextOff;
        case SettingRow::Resolution: {
            if (config.modes.empty()) return kTextNoModes;
            const DisplayMode mode = CurrentMode(config);
            return std::to_wstring(mode.width) + kTextBy + std::to_wstring(mode.height);
        }
        case SettingRow::Brightness:
            return std::to_wstring(Gamma(config) + 1) + kTextOutOf + std::to_wstring(kMaxGamma + 1);
        case SettingRow::SoftwareCursor:
            return GetInt(config, "SOFTWARE_CURSOR", 0) != 0 ? kTextOn : kTextOff;
    }
    return std::wstring();
}

bool SettingArrowAtLimit(const GameConfig& config, int row, int direction) {
    switch (static_cast<SettingRow>(row)) {
        case SettingRow::Resolution: {
            if (config.modes.empty()) return true;
            const std::ptrdiff_t current = CurrentModeIndex(config);
            if (current < 0) return false;
            return direction < 0 ? current == 0
                                 : current == static_cast<std::ptrdiff_t>(config.modes.size()) - 1;
        }
        case SettingRow::Brightness:
            return direction < 0 ? Gamma(config) == 0 : Gamma(config) == kMaxGamma;
        default:
            return false;
    }
}

bool SettingValueMuted(const GameConfig& config, int row, bool editable) {
    if (!editable) return true;
    return static_cast<SettingRow>(row) == SettingRow::Resolution && IsFullScreen(config);
}

std::wstring SettingsNotesText(const std::wstring& message, bool editable, bool full_screen) {
    constexpr wchar_t kBlankLine[] = L"\r\n\r\n";
    std::wstring notes;
    if (!message.empty()) notes += message + kBlankLine;
    if (editable && full_screen) notes += std::wstring(kTextFullScreenNote) + kBlankLine;
    return notes + kTextNextStartNote;
}

}  // namespace patcher::model
