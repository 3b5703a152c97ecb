// Secrets are overwritten before their memory goes back to the heap, so that a key does not linger
// in freed blocks that a crash dump or a later allocation could show.
#pragma once

#include <string>

namespace patcher::win {

// Zeroes every byte the string owns (its whole capacity, not only its length) and empties it.
void SecureWipe(std::string& secret);

}  // namespace patcher::win
