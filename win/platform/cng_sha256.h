// The second SHA-256: the system's CNG implementation, used for downloads (hashing while the bytes
// arrive), the self-update check and the self-tests. It must agree with the core's on every input;
// failures show only as an empty digest, which never equals a manifest value.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

namespace patcher::win {

class CngSha256 {
  public:
    CngSha256();
    ~CngSha256();
    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    // False when not ready, already finished, or the data could not be hashed (which also clears
    // ready). A zero length succeeds without work.
    bool Update(const void* data, std::size_t size);
    // The lowercase hex digest, once; the empty string when not ready, already finished or failed.
    std::string Finish();

    bool ready() const { return ready_; }
    bool finished() const { return finished_; }

  private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    bool ready_ = false;
    bool finished_ = false;
};

// The digest of the whole file behind an open handle (read from offset 0 in 256 KiB pieces), with
// the file pointer put back at 0 for the caller; the empty string on any failure.
std::string CngSha256OfHandle(HANDLE file);

}  // namespace patcher::win
