// Telling a file of its own from a link to some other file, and deleting only the former. Windows
// marks its links as reparse points; Wine shows a host symbolic link to a file as a plain file and
// follows it, so deleting, truncating or creating through such a name acts on the file it points
// to, which may lie anywhere outside the patcher's folders. Only an open handle tells: its final
// path names the file it reached.
#pragma once

#include <windows.h>

#include <string>

#include "win/platform/unique_handle.h"

namespace patcher::win {

// The file or folder behind `handle`, opened by `path`, is not the entry that `path` names in its
// folder. A handle whose final path cannot be read is not refused.
bool IsReachedThroughALink(HANDLE handle, const std::wstring& path);

// The same for an existing name, looked at through a handle of its own that reads attributes only.
// A name that cannot be opened is not refused.
bool IsLinkToAnotherFile(const std::wstring& path);

// A plain file with one name: no folder, no reparse point, no second hard link.
bool IsPlainSingleLinkFile(HANDLE file);

// Marks the file behind `handle` (opened with DELETE access) for deletion when it closes.
bool DeleteThroughHandle(HANDLE handle);

// Opens an existing file for reading, and sharing deletion so that it can still be replaced, only
// when it is a plain file with a single name, reached through no link of any kind and in a folder
// reached through none: the checks every file the patcher writes goes through.
unique_hfile OpenPlainFileForReading(const std::wstring& path);

enum class PlainDelete {
    Deleted,
    Missing,  // nothing there (a link whose target is gone looks so too, and is left)
    Link,     // a link to another file, or a folder: left alone
    Failed,   // the last error says why
};

// Deletes `path` only when it is a file of its own, through the handle that checked it, so that
// the file deleted is the one checked. A read-only file is deleted too.
PlainDelete DeletePlainFile(const std::wstring& path);

// A process that has just exited may keep its image (its executable, or that file's retired copy)
// mapped for a moment. This delete tries again after a failure, up to `retries` times, 300 ms
// apart; after the last failure the last error still says why.
inline constexpr int kExitedImageRetries = 10;
PlainDelete DeletePlainFileRetrying(const std::wstring& path, int retries);

}  // namespace patcher::win
