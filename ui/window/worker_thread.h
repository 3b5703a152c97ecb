// Fire-and-forget worker threads for the window: nobody waits for them, so each owns what it uses.
#pragma once

#include <functional>

namespace patcher::win {

// Runs `work` on a new thread whose handle is not kept. An exception is caught at the thread's
// edge and written to the support log. False when the thread could not be started.
bool StartWorkerThread(const char* name, std::function<void()> work);

}  // namespace patcher::win
