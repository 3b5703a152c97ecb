#include "win/platform/known_paths.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

#include "win/platform/paths.h"

namespace patcher::win {

using namespace rules;

std::wstring ExecutablePath() {
    // GetModuleFileNameW truncates silently: a result that fills the buffer may be cut short, so
    // grow until it fits, with a hard ceiling at the longest path Windows can have.
    for (DWORD size = MAX_PATH; size < 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) return std::wstring(buffer.data(), length);
    }
    return std::wstring();
}

std::wstring DefaultDataDirectory() {
    std::wstring base;
    const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed > 1) {
        std::vector<wchar_t> value(needed);
        const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), needed);
        if (length > 0 && length < needed) base.assign(value.data(), length);
    }
    if (base.empty()) {
        wchar_t folder[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
            base = folder;
        }
    }
    if (base.empty()) return std::wstring();
    return JoinPath(base, L"Garun2Patcher");
}

std::wstring DefaultInstallDirectory() {
    return JoinPath(ParentPath(ExecutablePath()), L"game");
}

}  // namespace patcher::win
