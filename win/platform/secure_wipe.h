// Secrets are overwritten before their memory goes back to the heap, so that a key does not linger
// in freed blocks that a crash dump or a later allocation could show.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace patcher::win {

// Zeroes every byte the string owns (its whole capacity, not only its length) and empties it.
void SecureWipe(std::string& secret);

// A fixed-size scratch buffer for bytes that may be secret (an answer from the key service passes
// through the HTTP client's read buffer); zeroed when it goes away.
class WipedBuffer {
  public:
    explicit WipedBuffer(std::size_t size) : bytes_(size) {}
    ~WipedBuffer();
    WipedBuffer(const WipedBuffer&) = delete;
    WipedBuffer& operator=(const WipedBuffer&) = delete;

    char* data() { return bytes_.data(); }

  private:
    std::vector<char> bytes_;
};

}  // namespace patcher::win
