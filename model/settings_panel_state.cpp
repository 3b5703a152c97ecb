#include "model/settings_panel_state.h"

#include "model/window_texts.h"
#include "rules/download_limit.h"
#include "rules/wide_text.h"

namespace patcher::model {

using namespace rules;

namespace {

std::wstring Decimal(std::int64_t value) {
    return std::to_wstring(value);
}

// The panel's answer to a save of either file: the message, the dirty mark and the log line.
std::vector<std::wstring> Saved(SettingsPanelState& panel, bool& dirty, const std::wstring& path,
                                bool written, const std::wstring& what) {
    if (!written) {
        panel.message = kTextSettingsNotSaved;
        return {L"settings: could not write " + path};
    }
    dirty = false;
    panel.message = kTextSettingsSaved;
    return {L"settings: saved " + path + what};
}

// The row's text: "Sınırsız" or "5 MB/s".
std::wstring DownloadLimitLabel(std::size_t choice) {
    const std::uint64_t limit = DownloadLimitOfChoice(choice);
    if (limit == 0) return kTextNoDownloadLimit;
    return std::to_wstring(limit / kBytesPerMb) + L" MB" + kTextPerSecond;
}

void Refuse(SettingsPanelState& panel) {
    panel.message = kTextSettingsUnreadable;
    panel.editable = false;
}

constexpr wchar_t kWouldNotLoad[] = L", the file would no longer load :: ";

}  // namespace

std::vector<std::wstring> LoadGameSettings(SettingsPanelState& panel, const SettingsFile& file,
                                           const std::vector<DisplayMode>& modes) {
    std::vector<std::wstring> log;
    const bool readable = file.read || file.empty;
    if (!readable && file.exists) {
        log.push_back(L"settings: exists but unreadable, refusing to edit " + file.path);
        Refuse(panel);
        return log;
    }
    if (!readable) log.push_back(L"settings: no config yet :: " + WidenUtf8(file.read_message));
    Result<GameConfig> parsed = ParseGameConfig(file.read ? file.text : std::string());
    if (!parsed.ok()) {
        log.push_back(L"settings: refusing to edit :: " + WidenUtf8(parsed.status().message));
        Refuse(panel);
        return log;
    }
    panel.config = std::move(parsed).value();
    panel.config.modes = modes;
    panel.config.snapped = false;
    panel.editable = true;
    panel.dirty = false;
    panel.message.clear();
    return log;
}

std::vector<std::wstring> StepGameSetting(SettingsPanelState& panel, int row, int direction) {
    std::vector<std::wstring> log;
    if (!panel.editable) return log;
    const std::int32_t old_width = GetInt(panel.config, "WIDTH", 1024);
    const std::int32_t old_height = GetInt(panel.config, "HEIGHT", 768);
    GameConfig before = panel.config;
    if (!StepSetting(panel.config, row, direction)) return log;
    const Result<std::string> saved = SerializeForSave(panel.config);
    if (!saved.ok()) {
        panel.config = std::move(before);
        panel.config.snapped = false;
        panel.message = kTextSettingsTooLarge;
        log.push_back(L"settings: step refused" + std::wstring(kWouldNotLoad) +
                      WidenUtf8(saved.status().message));
        return log;
    }
    if (panel.config.snapped) {
        log.push_back(L"settings: " + Decimal(old_width) + L"x" + Decimal(old_height) +
                      L" is not a display mode, snapped to " +
                      Decimal(GetInt(panel.config, "WIDTH", 1024)) + L"x" +
                      Decimal(GetInt(panel.config, "HEIGHT", 768)));
    }
    panel.dirty = true;
    panel.message.clear();
    return log;
}

bool SaveOffered(const SettingsPanelState& panel) {
    return (panel.editable && panel.dirty) || panel.limit_dirty;
}

void ShowDownloadLimit(SettingsPanelState& panel, std::uint64_t bytes_per_second) {
    panel.download_limit = DownloadLimitChoice(bytes_per_second);
    panel.limit_dirty = false;
}

std::vector<std::wstring> StepDownloadLimit(SettingsPanelState& panel, int direction) {
    if ((direction != -1 && direction != 1) ||
        PanelArrowAtLimit(panel, kDownloadLimitRow, direction)) {
        return {};
    }
    panel.download_limit = direction < 0 ? panel.download_limit - 1 : panel.download_limit + 1;
    panel.limit_dirty = true;
    panel.message.clear();
    return {L"settings: download limit stepped to " + DownloadLimitLabel(panel.download_limit)};
}

std::vector<std::wstring> DownloadLimitSaved(SettingsPanelState& panel, const std::wstring& path,
                                             bool written) {
    return Saved(panel, panel.limit_dirty, path, written,
                 L" (download limit " + DownloadLimitLabel(panel.download_limit) + L")");
}

std::wstring PanelValueText(const SettingsPanelState& panel, int row) {
    if (row == kDownloadLimitRow) return DownloadLimitLabel(panel.download_limit);
    return SettingValueText(panel.config, row);
}

bool PanelArrowAtLimit(const SettingsPanelState& panel, int row, int direction) {
    if (row != kDownloadLimitRow) return SettingArrowAtLimit(panel.config, row, direction);
    return direction < 0 ? panel.download_limit == 0
                         : panel.download_limit + 1 >= kDownloadLimitChoicesMb.size();
}

bool PanelValueMuted(const SettingsPanelState& panel, int row) {
    return row != kDownloadLimitRow && SettingValueMuted(panel.config, row, panel.editable);
}

SettingsSave PrepareGameSettingsSave(SettingsPanelState& panel, const std::wstring& path) {
    Result<std::string> bytes = SerializeForSave(panel.config);
    SettingsSave save;
    if (!bytes.ok()) {
        panel.message = kTextSettingsTooLarge;
        save.log.push_back(L"settings: not saving " + path + kWouldNotLoad +
                           WidenUtf8(bytes.status().message));
        return save;
    }
    save.write = true;
    save.bytes = std::move(bytes).value();
    return save;
}

std::vector<std::wstring> GameSettingsSaved(SettingsPanelState& panel, const std::wstring& path,
                                            bool written) {
    return Saved(panel, panel.dirty, path, written, std::wstring());
}

std::wstring DisplayModesLogLine(std::size_t offered, std::size_t raw_32bit) {
    return L"settings: display offers " + Decimal(static_cast<std::int64_t>(offered)) +
           L" modes (raw " + Decimal(static_cast<std::int64_t>(raw_32bit)) + L")";
}

}  // namespace patcher::model
