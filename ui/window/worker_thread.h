// Fire-and-forget worker threads for the window: nobody waits for them, so each owns what it uses.
//
// Threads and locks, in every layer: a thread is a std::thread, joined or detached by the code that
// starts it, and a lock is a std::mutex held through std::lock_guard. CreateThread is used only
// where a thread's handle must be waited on with a time limit or beside other handles (the key
// channel and the atomic writer's self-test), which std::thread cannot offer.
#pragma once

#include <functional>

namespace patcher::ui {

// Runs `work` on a new thread whose handle is not kept. An exception is caught at the thread's
// edge and written to the support log. False when the thread could not be started.
bool StartWorkerThread(const char* name, std::function<void()> work);

}  // namespace patcher::ui
