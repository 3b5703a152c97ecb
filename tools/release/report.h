// The line-oriented report of validate and lint, the same shape as the patcher's headless report:
// a key in capitals, ": ", the value, one line each, on standard output.
#pragma once

#include <string>

#include "core/status.h"
#include "core/validate.h"

namespace patcher::release {

void PrintField(const std::string& key, const std::string& value);

// Every field of the report, the notes and the download list, then MESSAGE when the run failed.
// The caller exits with the status code.
void PrintValidateReport(const ValidateReport& report, const Status& status);

}  // namespace patcher::release
