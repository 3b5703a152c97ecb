// The check: bring the metadata up to date (or fall back to the accepted set), validate it,
// promote it, compare the release with the install directory and decide whether the game may
// start.
#pragma once

#include "rules/check_outcome.h"
#include "rules/patcher_config.h"

namespace patcher::win {

void CheckRelease(const rules::PatcherConfig& config, rules::CheckOutcome& outcome);

// CheckRelease plus its one summary line in the support log. Both front ends call this.
void RunCheck(const rules::PatcherConfig& config, rules::CheckOutcome& outcome);

}  // namespace patcher::win
