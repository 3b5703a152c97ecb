// The only way the patcher replaces a file: the new content goes to "<target>.tmp", held without
// sharing, and lands on the destination in one rename through the handle that wrote it. The
// destination therefore holds either its old content or the complete new content, never a mix,
// whether the process is killed half-way or another process meddles with the temporary file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "win/platform/checked_folders.h"
#include "win/platform/plain_file.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

// True when `path` exists afterwards as a real directory; creates missing ancestors. Refuses to
// go through a reparse point (symbolic link, junction, mount point) at any level it examines.
bool EnsureDirectory(const std::wstring& path);

// Renames the file behind `file` (opened with DELETE access) to `target`, replacing a file there.
// Whatever stands under the file's old name by now, exactly the file the handle holds is moved.
bool RenameOpenFile(HANDLE file, const std::wstring& target);

class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares the destination's directory and creates the temporary file. A writer that is
    // reopened first abandons whatever it held.
    bool Open(const std::wstring& target);
    // Opens `partial`, a name of the caller's beside `target`, to carry on from the bytes an
    // earlier writer left there. Unlike the temporary file of Open, it outlives the writer unless
    // the writer commits or discards it. A partial that is a second hard link is removed and
    // started afresh; one that is a symbolic link (a host link under Wine too) is left alone and
    // refused, since removing it by name would remove what it leads to. A folder in `checked`
    // is taken as examined already; one examined now is added to it.
    bool OpenResumable(const std::wstring& target, const std::wstring& partial,
                       CheckedFolders* checked = nullptr);
    // The bytes already in the file; false when it cannot be asked.
    bool Size(std::uint64_t& bytes) const;
    // Hands every byte already in the file to `sink`, leaving the file positioned at its end.
    bool ReadExisting(const std::function<bool(const char*, std::uint32_t)>& sink);
    // Empties the file, for a start from byte 0.
    bool Truncate();
    // Deletes the file now, whichever way it was opened.
    void Discard();
    // Appends bytes to the temporary file.
    bool Write(const void* data, std::uint32_t length);
    // Flushes and renames the temporary file over the destination, replacing a read-only one.
    bool Commit();

    const std::wstring& target_path() const { return target_; }
    const std::wstring& temp_path() const { return temp_; }
    bool committed() const { return committed_; }
    // The last Open or OpenResumable failed because its file's name is a link to another file.
    bool link_refused() const { return link_refused_; }

  private:
    void Abandon();
    void DeleteOwnFile();
    void NoteDanglingLink();
    bool Prepare(const std::wstring& target, const std::wstring& temp, CheckedFolders* checked);

    unique_hfile handle_;
    std::wstring target_;
    std::wstring temp_;
    bool committed_ = false;
    // Opened with OpenResumable: abandoning the writer keeps the file for the next attempt.
    bool keep_ = false;
    // Set once the rename took place: the handle then names the destination, which must survive.
    bool renamed_ = false;
    bool link_refused_ = false;
};

}  // namespace patcher::win
