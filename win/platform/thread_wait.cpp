#include "win/platform/thread_wait.h"

namespace patcher::win {

std::size_t WaitForThreads(const std::vector<HANDLE>& threads, DWORD timeout_ms) {
    // One deadline for all of them, whatever their number (WaitForMultipleObjects takes 64 at
    // most).
    const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
    std::size_t running = 0;
    for (const HANDLE thread : threads) {
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (::WaitForSingleObject(thread, left) != WAIT_OBJECT_0) ++running;
    }
    return running;
}

}  // namespace patcher::win
