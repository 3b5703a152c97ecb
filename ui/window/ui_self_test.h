// --ui-selftest: the real window, created hidden in self-test mode, paints every view into an
// off-screen picture whose pixels are sampled; the window-free sections of the model run beside
// it. One printed line per result; the last is "UI_SELFTEST: OK" or "UI_SELFTEST: FAILED".
#pragma once

#include <functional>
#include <string>

#include "ui/window/main_window.h"

namespace patcher::ui {

using SelfTestPrinter = std::function<void(const std::wstring& line)>;

// The built-in server addresses are printed as identity lines. Answers the exit code, 0 or 1.
// With a `screenshots` folder every view is also painted at the design size and at twice it and
// kept there as "<view>-<width>x<height>.bmp", for people to look at.
int RunUiSelfTest(MainWindow& window, const std::wstring& base_url, const std::wstring& key_service,
                  const SelfTestPrinter& print, const std::wstring& screenshots = std::wstring());

}  // namespace patcher::ui
