// A process attribute list that restricts what a new process inherits to the handles named, so a
// child never receives the patcher's other inheritable handles (log file, sockets, another child's
// pipes).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace patcher::win {

class InheritedHandleList {
  public:
    InheritedHandleList() = default;
    ~InheritedHandleList();
    InheritedHandleList(const InheritedHandleList&) = delete;
    InheritedHandleList& operator=(const InheritedHandleList&) = delete;

    bool Build(const std::vector<HANDLE>& handles, std::string& message);

    // For STARTUPINFOEXW; valid after a successful Build while the object lives.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const;

  private:
    void Release();

    std::vector<unsigned char> buffer_;
    std::vector<HANDLE> handles_;  // the list points into this copy
    bool initialised_ = false;
};

}  // namespace patcher::win
