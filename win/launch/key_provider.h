// Where the key channel gets its keys: true with the key filled, or false with a reason word (the
// KEYERR reason; empty lets the channel say UNREACHABLE).
#pragma once

#include <functional>
#include <string>

namespace patcher::win {

using KeyProvider = std::function<bool(std::string& key, std::string& reason)>;

}  // namespace patcher::win
