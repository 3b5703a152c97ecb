// The Turkish sentence a player sees for an outcome code.
#pragma once

#include <string>

#include "core/status.h"

namespace patcher::win {

// UTF-8. Shared by the check, the download and the main window for their own codes.
std::string PlayerMessage(StatusCode code);

}  // namespace patcher::win
