// Waiting for worker threads with a limit: a worker stuck in a file call on an unresponsive network
// share must not hang its caller for ever.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace patcher::win {

// Waits until every thread has ended or timeout_ms has passed; the number still running.
std::size_t WaitForThreads(const std::vector<HANDLE>& threads, DWORD timeout_ms);

}  // namespace patcher::win
