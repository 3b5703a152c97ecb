#include "win/platform/checked_folders.h"

namespace patcher::win {

bool CheckedFolders::Contains(const std::wstring& folder) const {
    const std::lock_guard<std::mutex> hold(lock_);
    return folders_.count(folder) != 0;
}

void CheckedFolders::Add(const std::wstring& folder) {
    const std::lock_guard<std::mutex> hold(lock_);
    folders_.insert(folder);
}

}  // namespace patcher::win
