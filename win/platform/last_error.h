// The calling thread's last Win32 error: kept across clean-up, and put into a failure's text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "rules/error_text.h"

namespace patcher::win {

// Saves GetLastError when made and sets it back when destroyed. Clean-up on the way out of a failed
// step (closing a handle, deleting a temporary, restoring attributes) may change the last error
// even when it succeeds, and the caller is about to report the error of the step that failed.
class last_error_context {
  public:
    last_error_context() noexcept : error_(::GetLastError()) {}
    ~last_error_context() { ::SetLastError(error_); }
    last_error_context(const last_error_context&) = delete;
    last_error_context& operator=(const last_error_context&) = delete;

  private:
    DWORD error_;
};

// "what (error N)" with the last error of the call that just failed.
inline std::string WithLastError(std::string_view what, std::string_view label = "error") {
    const DWORD code = ::GetLastError();
    return rules::WithError(what, code, label);
}
inline std::wstring WithLastError(std::wstring_view what, std::wstring_view label = L"error") {
    const DWORD code = ::GetLastError();
    return rules::WithError(what, code, label);
}

}  // namespace patcher::win
