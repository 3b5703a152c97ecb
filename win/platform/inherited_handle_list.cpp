#include "win/platform/inherited_handle_list.h"

#include "win/platform/last_error.h"

namespace patcher::win {

InheritedHandleList::~InheritedHandleList() {
    Release();
}

void InheritedHandleList::Release() {
    if (initialised_) DeleteProcThreadAttributeList(get());
    initialised_ = false;
    buffer_.clear();
}

LPPROC_THREAD_ATTRIBUTE_LIST InheritedHandleList::get() const {
    return initialised_ ? reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(
                              const_cast<unsigned char*>(buffer_.data()))
                        : nullptr;
}

bool InheritedHandleList::Build(const std::vector<HANDLE>& handles, std::string& message) {
    message.clear();
    Release();
    if (handles.empty()) {
        message = "an inherited-handle list needs at least one handle";
        return false;
    }
    handles_ = handles;
    SIZE_T size = 0;
    if (InitializeProcThreadAttributeList(nullptr, 1, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        message = WithLastError("cannot size a process attribute list");
        return false;
    }
    if (size == 0) {
        message = "the process attribute list sized to zero";
        return false;
    }
    buffer_.assign(size, 0);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        message = WithLastError("cannot initialise a process attribute list");
        return false;
    }
    initialised_ = true;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
        message = WithLastError("cannot restrict the inherited handle list");
        return false;
    }
    return true;
}

}  // namespace patcher::win
