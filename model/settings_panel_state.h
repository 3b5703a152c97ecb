// The settings panel's state and what loading, stepping and saving do to it, without the file
// system: the window reads garun2.cfg, enumerates the display modes and writes the file, and hands
// the answers in. Each operation returns the support-log lines to write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/game_config.h"

namespace patcher::model {

// The last row is the patcher's own: kept in patcher.cfg beside the exe, editable whatever the
// game's file says.
inline constexpr int kDownloadLimitRow = 4;

struct SettingsPanelState {
    GameConfig config;               // the parser's answer for empty text until the first load
    bool editable = false;           // loaded (or absent) and so safe to write back
    bool dirty = false;              // changed since the last load or save: "KAYDET" is offered
    std::size_t download_limit = 0;  // DownloadLimitChoice's index
    bool limit_dirty = false;        // the limit changed since the panel opened or saved
    std::wstring message;            // shown above the notes
};

// What reading install directory + "garun2.cfg" gave.
struct SettingsFile {
    std::wstring path;
    bool read = false;         // ReadTextFile succeeded
    bool exists = false;       // something is there (only consulted when the read failed)
    std::string text;          // the bytes read
    std::string read_message;  // ReadTextFile's failure message (UTF-8)
    bool empty = false;        // a file of no bytes, which ReadTextFile refuses to read
};

// Opening the panel: a file that exists but cannot be read, or does not parse, is not edited; a
// missing one starts an empty document that saving creates, and so does an empty one, which the
// game reads as all defaults just like a missing one.
std::vector<std::wstring> LoadGameSettings(SettingsPanelState& panel, const SettingsFile& file,
                                           const std::vector<DisplayMode>& modes);

// One arrow click (only when editable). A step whose saved file the next load would refuse (it
// passes a cap) is not taken.
std::vector<std::wstring> StepGameSetting(SettingsPanelState& panel, int row, int direction);

// Opening the panel: the limit in force, any unsaved step dropped.
void ShowDownloadLimit(SettingsPanelState& panel, std::uint64_t bytes_per_second);
// One arrow click on the limit row; no step past either end.
std::vector<std::wstring> StepDownloadLimit(SettingsPanelState& panel, int direction);
// After the window wrote patcher.cfg (or failed to); answers the log lines.
std::vector<std::wstring> DownloadLimitSaved(SettingsPanelState& panel, const std::wstring& path,
                                             bool written);

// What a row shows: its value, whether an arrow is at its end, whether the value is muted.
std::wstring PanelValueText(const SettingsPanelState& panel, int row);
bool PanelArrowAtLimit(const SettingsPanelState& panel, int row, int direction);
bool PanelValueMuted(const SettingsPanelState& panel, int row);

// Saving is offered for an editable, changed game document or a changed limit.
bool SaveOffered(const SettingsPanelState& panel);

// What a save writes: the document's bytes, or, when the next load would refuse them, nothing (and
// the file on disk stays as it was).
struct SettingsSave {
    bool write = false;
    std::string bytes;
    std::vector<std::wstring> log;
};
SettingsSave PrepareGameSettingsSave(SettingsPanelState& panel, const std::wstring& path);
// After the window wrote the prepared bytes through AtomicFile (or failed to).
std::vector<std::wstring> GameSettingsSaved(SettingsPanelState& panel, const std::wstring& path,
                                            bool written);

// "settings: display offers N modes (raw M)" for the enumeration's log line.
std::wstring DisplayModesLogLine(std::size_t offered, std::size_t raw_32bit);

}  // namespace patcher::model
