// `--headless --news`: the signed news as the window would show it, item by item.
#pragma once

#include "app/arguments.h"

namespace patcher::app {

// Always 0: news never decides anything.
int RunNews(const Arguments& arguments);

}  // namespace patcher::app
