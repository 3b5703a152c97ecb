// Whole-file reading and the two ways the tool writes: a new file that must not exist yet (keys)
// and a replacement that readers see either complete or not at all (documents and signatures).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/status.h"

namespace patcher::release {

// The whole file, refused (BadInput) when it cannot be read or is larger than max_bytes.
Result<std::string> ReadWholeFile(const std::string& path, std::uint64_t max_bytes);

// Creates the file with the given mode and content; refuses a path where anything exists, a
// symbolic link included. A failed write removes what it created.
Status WriteNewFile(const std::string& path, const std::string& bytes, unsigned mode);

// A new file written in pieces (a part may be written again at an offset), with exactly the mode
// asked for; refused where anything exists, a symbolic link included. It is removed unless
// Finish succeeds.
class NewFile {
  public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    Status Create(const std::string& path, unsigned mode);
    Status Append(std::string_view bytes);
    Status WriteAt(std::uint64_t offset, std::string_view bytes);
    // Closes the file, with durable flushed to disk first.
    Status Finish(bool durable = true);

  private:
    std::string path_;
    int fd_ = -1;
};

// Writes a temporary file beside path and renames it over path.
Status WriteFileReplacing(const std::string& path, const std::string& bytes);

// Writes bytes into a new file that only the user can read, in $TMPDIR or /tmp, and returns its
// path; the caller removes it.
Result<std::string> WriteTemporaryFile(const std::string& name_prefix, const std::string& bytes);

// Copies a regular file into a new file with exactly the given mode; the destination must not
// exist. With durable the copy is flushed to disk before it is closed.
Status CopyNewFile(const std::string& from, const std::string& to, unsigned mode,
                   bool durable = false);

// What a web server's workers, which run as an unprivileged user of their own, need to serve a
// release as it lies: a mkdtemp folder is private and the release machine's umask may be strict.
inline constexpr unsigned kServedFolderMode = 0755;
inline constexpr unsigned kServedFileMode = 0644;

// Creates the folders of relative below root, each readable by everyone whatever the umask.
Status CreateServedFolders(const std::string& root, const std::string& relative);

// True when anything (a dangling symbolic link included) stands at path.
bool PathExists(const std::string& path);

// The folder that holds path ("." for a bare name).
std::string ParentDirectory(const std::string& path);

}  // namespace patcher::release
