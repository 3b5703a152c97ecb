#include "win/engine/self_update.h"

#include <windows.h>

#include "win/platform/atomic_file.h"
#include "win/platform/cng_sha256.h"
#include "win/platform/known_paths.h"
#include "win/platform/last_error.h"
#include "win/platform/paths.h"
#include "win/platform/process.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr DWORD kReplaceThrough = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

bool Fail(const char* area, std::string& error, std::string message) {
    error = std::move(message);
    LogLine(std::string(area) + ": " + error);
    return false;
}

// Steps after the replacement has been verified: the running file aside, the new one in through
// the handle that verified it. That handle shares reading only: with write sharing the content
// could change after the hash, with delete sharing the file could be moved away and another put
// under its name, and a move by name would then publish that one unverified.
bool Swap(HANDLE verified, const std::wstring& exe, const std::wstring& old, std::string& error,
          bool& patcher_intact) {
    // A link left under the old name is only replaced by the move, never deleted through.
    DeletePlainFile(old);
    if (!::MoveFileExW(exe.c_str(), old.c_str(), kReplaceThrough)) {
        return Fail("self-update", error,
                    WithLastError("cannot rename the running executable aside"));
    }
    if (RenameOpenFile(verified, exe)) return true;
    const std::string failure = WithLastError("cannot move the new executable into place");
    if (RestoreFile(old, exe)) {
        return Fail("self-update", error, failure + "; the working copy was put back");
    }
    patcher_intact = false;
    return Fail("self-update", error,
                failure + " AND the working copy could not be restored from " + WideToUtf8(old) +
                    " -- no usable patcher remains");
}

}  // namespace

bool ApplySelfUpdate(const std::string& expected_sha256, std::string& error, bool& patcher_intact) {
    patcher_intact = true;
    error.clear();
    const std::wstring exe = ExecutablePath();
    if (exe.empty()) {
        return Fail("self-update", error, "cannot determine the running executable path");
    }
    return PublishReplacement({exe, exe + L".new", exe + L".old"}, expected_sha256, error,
                              patcher_intact);
}

bool PublishReplacement(const SelfUpdateNames& names, const std::string& expected_sha256,
                        std::string& error, bool& patcher_intact) {
    patcher_intact = true;
    error.clear();
    const std::wstring &exe = names.exe, &fresh = names.fresh, &old = names.old;
    const std::string fresh_utf8 = WideToUtf8(fresh);
    if (!PathExists(fresh)) {
        return Fail("self-update", error, "no verified replacement executable at " + fresh_utf8);
    }
    if (expected_sha256.empty()) {
        return Fail("self-update", error,
                    "refusing to apply a self-update with no expected SHA-256 from the manifest");
    }
    if (IsReparsePoint(fresh)) {
        ::DeleteFileW(fresh.c_str());
        return Fail("self-update", error,
                    "the replacement executable is a reparse point, not a file: " + fresh_utf8);
    }
    // From here on nobody else may write, rename or delete it; it moves into place through this
    // very handle.
    unique_hfile held(::CreateFileW(fresh.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!held) {
        return Fail(
            "self-update", error,
            WithLastError("cannot open the replacement executable exclusively at " + fresh_utf8));
    }
    if (IsReachedThroughALink(held.get(), fresh)) {
        return Fail(
            "self-update", error,
            "the replacement executable is a link to another file, left alone: " + fresh_utf8);
    }
    const std::string actual = CngSha256OfHandle(held.get());
    if (actual.empty()) {
        return Fail("self-update", error,
                    "cannot hash the replacement executable at " + fresh_utf8);
    }
    if (actual != expected_sha256) {
        DeleteThroughHandle(held.get());
        held.reset();
        return Fail("self-update", error,
                    "the replacement executable no longer matches the manifest (manifest " +
                        expected_sha256 + ", on disk " + actual + ") -- refusing to run it");
    }
    LogLine("self-update: publishing " + expected_sha256 + " over " + WideToUtf8(exe));
    return Swap(held.get(), exe, old, error, patcher_intact);
}

bool RestoreFile(const std::wstring& from, const std::wstring& to) {
    if (PathExists(to)) return true;
    if (!PathExists(from)) return false;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), kReplaceThrough)) return true;
        if (PathExists(to)) return true;  // another party put it back
        ::Sleep(100);
    }
    if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
    return PathExists(to);
}

bool RestartSelf(const std::wstring& extra_arguments, std::string& error) {
    error.clear();
    const std::wstring exe = ExecutablePath();
    if (exe.empty()) {
        return Fail("restart-self", error, "cannot determine the running executable path");
    }
    std::wstring tail = L"--after-self-update";
    if (!extra_arguments.empty()) tail += L" " + extra_arguments;
    // The new copy inherits nothing of ours and starts in its own folder.
    const StartedProcess started = StartProcess({exe, tail, ParentPath(exe)});
    if (!started.ok()) {
        return Fail("restart-self", error,
                    WithError("cannot restart after the update", started.error));
    }
    return true;
}

bool ApplyAndRestart(const std::string& expected_sha256, const std::wstring& extra_arguments,
                     std::string& error, bool& patcher_intact) {
    return ApplySelfUpdate(expected_sha256, error, patcher_intact) &&
           RestartSelf(extra_arguments, error);
}

}  // namespace patcher::win
