// The Windows answers to the window rules' platform questions, and the folder picker they lead to.
#pragma once

#include <windows.h>

#include <string>

#include "model/window_handlers.h"
#include "rules/patcher_config.h"

namespace patcher::ui {

model::WindowPlatform MakeWindowPlatform(const rules::PatcherConfig& config);

// The shell's folder dialog; the chosen folder, or empty when the player cancelled.
std::wstring PickFolder(HWND owner, const wchar_t* title);

}  // namespace patcher::ui
