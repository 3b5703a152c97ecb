// The check report shared by --check, --update and --launch-decision.
#pragma once

#include <string>

#include "rules/check_outcome.h"

namespace patcher::app {

void PrintCheckReport(const rules::CheckOutcome& outcome, const std::wstring& game_executable);

}  // namespace patcher::app
