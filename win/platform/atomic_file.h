// The only way the patcher replaces a file: the new content goes to "<target>.tmp", held without
// sharing, and lands on the destination in one rename through the handle that wrote it. The
// destination therefore holds either its old content or the complete new content, never a mix,
// whether the process is killed half-way or another process meddles with the temporary file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "win/platform/unique_handle.h"

namespace patcher::win {

// True when `path` exists afterwards as a real directory; creates missing ancestors. Refuses to
// go through a reparse point (symbolic link, junction, mount point) at any level it examines.
bool EnsureDirectory(const std::wstring& path);

// Renames the file behind `file` (opened with DELETE access) to `target`, replacing a file there.
// Whatever stands under the file's old name by now, exactly the file the handle holds is moved.
bool RenameOpenFile(HANDLE file, const std::wstring& target);

// Opens an existing file for reading, and sharing deletion so that it can still be replaced, only
// when it is a plain file with a single name, reached through no link of any kind and in a folder
// reached through none: the checks every file the patcher writes goes through.
unique_hfile OpenPlainFileForReading(const std::wstring& path);

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
    // the writer commits or discards it. A partial that is a link of any kind (symbolic, hard, or
    // a host link under Wine) is removed and started afresh: what it leads to is never read.
    bool OpenResumable(const std::wstring& target, const std::wstring& partial);
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

  private:
    void Abandon();
    void DeleteThroughHandle();
    bool Prepare(const std::wstring& target, const std::wstring& temp);

    unique_hfile handle_;
    std::wstring target_;
    std::wstring temp_;
    bool committed_ = false;
    // Opened with OpenResumable: abandoning the writer keeps the file for the next attempt.
    bool keep_ = false;
    // Set once the rename took place: the handle then names the destination, which must survive.
    bool renamed_ = false;
};

}  // namespace patcher::win
