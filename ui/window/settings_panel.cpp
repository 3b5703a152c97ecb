#include "ui/window/settings_panel.h"

#include <windows.h>

#include "core/text.h"
#include "model/settings_panel_layout.h"
#include "rules/download_limit.h"
#include "rules/path_text.h"
#include "win/platform/atomic_file.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::ui {

using namespace model;
using namespace rules;
using namespace win;

namespace {

constexpr wchar_t kGameConfigName[] = L"garun2.cfg";
constexpr wchar_t kPatcherConfigName[] = L"patcher.cfg";

void Log(const std::vector<std::wstring>& lines) {
    for (const std::wstring& line : lines) LogLineWide(line);
}

// A plain file of no bytes (a directory is not one).
bool IsEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != 0 &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && data.nFileSizeHigh == 0 &&
           data.nFileSizeLow == 0;
}

SettingsFile ReadSettingsFile(const std::wstring& path, const char* label) {
    SettingsFile file;
    file.path = path;
    std::string narrow;
    if (WideToUtf8Exact(path, narrow)) {
        Result<std::string> read = ReadTextFile(narrow, label);
        if (read.ok()) {
            file.read = true;
            file.text = std::move(read).value();
            return file;
        }
        file.read_message = read.status().message;
    } else {
        file.read_message = std::string(label) + " has a path without an exact UTF-8 form";
    }
    file.exists = PathExists(path);
    file.empty = file.exists && IsEmptyFile(path);
    return file;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    AtomicFile file;
    return file.Open(path) && file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) &&
           file.Commit();
}

}  // namespace

void SettingsPanel::EnumerateDisplayModes() {
    if (modes_enumerated_) return;
    modes_enumerated_ = true;
    std::vector<DisplayMode> raw;
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    for (DWORD index = 0; EnumDisplaySettingsW(nullptr, index, &mode); ++index) {
        if (mode.dmBitsPerPel == 32) {
            raw.push_back({static_cast<std::int32_t>(mode.dmPelsWidth),
                           static_cast<std::int32_t>(mode.dmPelsHeight)});
        }
    }
    modes_ = NormaliseDisplayModes(raw);
    LogLineWide(DisplayModesLogLine(modes_.size(), raw.size()));
}

void SettingsPanel::LoadGameSettings(const std::wstring& install_directory) {
    const SettingsFile file =
        ReadSettingsFile(JoinPath(install_directory, kGameConfigName), "garun2.cfg");
    Log(model::LoadGameSettings(state_, file, modes_));
    // The display is asked only once a file is known to be editable, so a refused file leaves no
    // mode line in the log; the first list then reaches the document here.
    if (!state_.editable) return;
    EnumerateDisplayModes();
    state_.config.modes = modes_;
}

void SettingsPanel::SetDownloadLimit(std::uint64_t bytes_per_second,
                                     std::function<void(std::uint64_t)> limit_saved) {
    download_limit_ = bytes_per_second;
    limit_saved_ = std::move(limit_saved);
    ShowDownloadLimit(state_, download_limit_);
}

void SettingsPanel::StepGameSetting(int row, int direction) {
    if (row == kDownloadLimitRow) {
        Log(StepDownloadLimit(state_, direction));
        return;
    }
    if (!state_.editable) return;
    EnumerateDisplayModes();
    Log(model::StepGameSetting(state_, row, direction));
}

void SettingsPanel::SaveDownloadLimit() {
    const std::wstring path = JoinPath(ParentPath(ExecutablePath()), kPatcherConfigName);
    // A file that is there but cannot be read is not replaced: its other lines would be lost.
    const SettingsFile file = ReadSettingsFile(path, "patcher.cfg");
    const bool readable = file.read || file.empty || !file.exists;
    const std::uint64_t limit = DownloadLimitOfChoice(state_.download_limit);
    const bool written = readable && WriteWhole(path, WithDownloadLimitLine(file.text, limit));
    Log(DownloadLimitSaved(state_, path, written));
    if (!written) return;
    download_limit_ = limit;
    if (limit_saved_) limit_saved_(limit);
}

void SettingsPanel::SaveGameSettings(const std::wstring& install_directory) {
    if (!state_.editable || !state_.dirty) return;
    const std::wstring path = JoinPath(install_directory, kGameConfigName);
    const SettingsSave save = PrepareGameSettingsSave(state_, path);
    Log(save.log);
    if (!save.write) return;
    Log(GameSettingsSaved(state_, path, WriteWhole(path, save.bytes)));
}

bool SettingsPanel::Click(const Layout& layout, std::int32_t x, std::int32_t y,
                          const std::wstring& install_directory) {
    const SettingsHit hit = SettingsHitAt(ComputeSettingsPanel(layout), x, y);
    switch (hit.kind) {
        case SettingsHit::Kind::Row:
            StepGameSetting(hit.row, hit.direction);
            return true;
        case SettingsHit::Kind::Save:
            if (!SaveOffered(state_)) return true;
            SaveGameSettings(install_directory);
            if (state_.limit_dirty) SaveDownloadLimit();
            return true;
        case SettingsHit::Kind::None:
            break;
    }
    return false;
}

void SettingsPanel::Toggle(const std::wstring& install_directory) {
    open_ = !open_;
    if (open_) {
        ShowDownloadLimit(state_, download_limit_);
        LoadGameSettings(install_directory);
    } else {
        ClearMessage();
    }
}

}  // namespace patcher::ui
