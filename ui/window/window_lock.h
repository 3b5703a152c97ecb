// The window lock: one critical section over what the worker threads hand to the window. Held only
// for copies; nothing is called, shown or posted while it is held.
#pragma once

#include <windows.h>

namespace patcher::win {

class WindowLock {
  public:
    WindowLock() { InitializeCriticalSection(&section_); }
    ~WindowLock() { DeleteCriticalSection(&section_); }
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;

    class Guard {
      public:
        explicit Guard(WindowLock& lock) : lock_(lock) { EnterCriticalSection(&lock_.section_); }
        ~Guard() { LeaveCriticalSection(&lock_.section_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        WindowLock& lock_;
    };

  private:
    CRITICAL_SECTION section_;
};

}  // namespace patcher::win
