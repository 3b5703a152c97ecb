#include "ui/window/window_platform.h"

#include <shlobj.h>

#include "rules/path_text.h"
#include "win/engine/download.h"
#include "win/platform/atomic_file.h"
#include "win/platform/disk_space.h"
#include "win/platform/paths.h"
#include "win/platform/write_probe.h"

namespace patcher::ui {

using namespace model;
using namespace rules;
using namespace win;

WindowPlatform MakeWindowPlatform(const PatcherConfig& config) {
    WindowPlatform platform;
    platform.probe_writable = [](const std::wstring& directory, std::uint32_t& error) {
        return ProbeWritable(directory, error);
    };
    platform.has_enough_space = [config](const CheckOutcome& result, std::uint64_t& free_bytes,
                                         std::uint64_t& needed_bytes) {
        return HasEnoughSpace(config, result, free_bytes, needed_bytes);
    };
    platform.free_space_near = [](const std::wstring& path, std::uint64_t& free_bytes) {
        return FreeBytesNear(path, free_bytes);
    };
    platform.ensure_directory = [](const std::wstring& path) { return EnsureDirectory(path); };
    return platform;
}

std::wstring PickFolder(HWND owner, const wchar_t* title) {
    // The new dialog style needs OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::wstring folder;
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(chosen, path)) folder = path;
        CoTaskMemFree(chosen);
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return folder;
}

}  // namespace patcher::ui
