#include "win/launch/secure_wipe.h"

#include <windows.h>

namespace patcher::win {

void SecureWipe(std::string& secret) {
    // Growing to the capacity never reallocates, and it makes the bytes beyond the length ours
    // to overwrite.
    secret.resize(secret.capacity());
    SecureZeroMemory(secret.data(), secret.size());
    secret.clear();
}

}  // namespace patcher::win
