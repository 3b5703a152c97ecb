// The Turkish sentence a player sees for an outcome code.
#pragma once

#include <string>

#include "core/status.h"

namespace patcher::rules {

// UTF-8. Shared by the check, the download and the main window for their own codes.
std::string PlayerMessage(StatusCode code);

// UTF-8. For a check whose fetch a proxy refused with 407: telling the player to check the
// internet connection would send them the wrong way, since the connection works up to the proxy.
std::string ProxyAuthPlayerMessage();

}  // namespace patcher::rules
