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

// UTF-8. For a check that has no release to go by because the server could not be reached, as on
// a first start without a connection: the patcher is sound, so the player is sent to the
// connection rather than to a fresh download of the patcher.
std::string UnreachablePlayerMessage();

}  // namespace patcher::rules
