// The settings panel's platform side: reading garun2.cfg from the install directory, asking the
// display for its modes and writing the file back through AtomicFile. What the answers mean
// (refuse, start empty, step, offer saving) is the panel model's (model/settings_panel_state.h);
// this class fetches the answers, hands them in and writes the log lines the model returns. Window
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/game_config.h"
#include "model/layout.h"
#include "model/settings_panel_state.h"

namespace patcher::ui {

class SettingsPanel {
  public:
    const model::SettingsPanelState& state() const { return state_; }
    bool open() const { return open_; }

    // The download limit in force, and whom a saved new one is told to (the running download's
    // budget), before the panel is first opened.
    void SetDownloadLimit(std::uint64_t bytes_per_second,
                          std::function<void(std::uint64_t)> limit_saved);

    // The title-bar button: opening loads, closing forgets the last message.
    void Toggle(const std::wstring& install_directory);

    // On opening: reloads the file (unsaved steps are dropped) and, the first time, the modes.
    void LoadGameSettings(const std::wstring& install_directory);
    void StepGameSetting(int row, int direction);
    void SaveGameSettings(const std::wstring& install_directory);
    // patcher.cfg beside the exe gets the row's limit; its other lines stay as they are.
    void SaveDownloadLimit();
    // A left-button release while the panel is open: true when it landed on a row or on the save
    // button, whatever it then changed.
    bool Click(const model::Layout& layout, std::int32_t x, std::int32_t y,
               const std::wstring& install_directory);
    // On closing.
    void ClearMessage() { state_.message.clear(); }

  private:
    // Once per process: the display's answer does not change while the panel is used.
    void EnumerateDisplayModes();

    model::SettingsPanelState state_;
    std::uint64_t download_limit_ = 0;
    std::function<void(std::uint64_t)> limit_saved_;
    std::vector<model::DisplayMode> modes_;
    bool modes_enumerated_ = false;
    bool open_ = false;
};

}  // namespace patcher::ui
