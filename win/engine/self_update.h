// Publishing a new patcher: the verified "<exe>.new" written by the download replaces the running
// executable. Windows lets a running image be renamed but not overwritten, so the swap renames the
// running file aside to "<exe>.old" (deleted at the next start) and moves the new one into place,
// putting the old one back when that fails.
#pragma once

#include <string>

namespace patcher::win {

// Re-verifies "<exe>.new" against the manifest's SHA-256 while holding it open against writers,
// then swaps. patcher_intact is false only when no runnable patcher may remain at "<exe>".
bool ApplySelfUpdate(const std::string& expected_sha256, std::string& error, bool& patcher_intact);

// The working names: the running executable, its verified replacement and its retired copy.
struct SelfUpdateNames {
    std::wstring exe;
    std::wstring fresh;  // exe + ".new"
    std::wstring old;    // exe + ".old"
};

// ApplySelfUpdate's work on the names it is given.
bool PublishReplacement(const SelfUpdateNames& names, const std::string& expected_sha256,
                        std::string& error, bool& patcher_intact);

// Starts the running executable's file again with "--after-self-update" (and `extra_arguments`).
bool RestartSelf(const std::wstring& extra_arguments, std::string& error);

// ApplySelfUpdate, then RestartSelf; the caller closes the running instance on success.
bool ApplyAndRestart(const std::string& expected_sha256, const std::wstring& extra_arguments,
                     std::string& error, bool& patcher_intact);

// Moves `from` to `to` however it can (retried, then copied); true when `to` exists afterwards.
bool RestoreFile(const std::wstring& from, const std::wstring& to);

}  // namespace patcher::win
