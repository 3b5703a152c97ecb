// `--headless --update`: the check, then the download of what it lists, reported line by line.
#pragma once

#include "app/arguments.h"

namespace patcher::app {

// The check's code when it is not 0 (nothing is downloaded); otherwise the download's result.
int RunUpdate(const Arguments& arguments);

}  // namespace patcher::app
