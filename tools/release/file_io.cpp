#include "tools/release/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace patcher::release {
namespace {

Status Failure(const std::string& what, const std::string& path) {
    return Status(StatusCode::BadInput, what + " " + path + ": " + std::strerror(errno));
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Writes, flushes to disk and closes; the descriptor is closed whatever happens.
bool FinishFile(int fd, const std::string& bytes) {
    const bool written = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!written) errno = saved;
    return written && closed;
}

}  // namespace

Result<std::string> ReadWholeFile(const std::string& path, std::uint64_t max_bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Failure("cannot open", path);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Status(StatusCode::BadInput, "not a regular file: " + path);
    }
    const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    if (size > max_bytes) {
        ::close(fd);
        return Status(StatusCode::BadInput,
                      path + " is larger than " + std::to_string(max_bytes) + " bytes");
    }
    // Read straight into the one buffer that is handed out, so a key file's bytes are never
    // copied into memory the caller cannot wipe.
    std::string content(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    char extra = 0;
    for (;;) {
        char* target = done < content.size() ? content.data() + done : &extra;
        const std::size_t room = done < content.size() ? content.size() - done : 1;
        const ssize_t got = ::read(fd, target, room);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            Status failure = Failure("cannot read", path);
            ::close(fd);
            return failure;
        }
        if (got == 0) break;
        if (target == &extra) {
            ::close(fd);
            return Status(StatusCode::BadInput, path + " grew while it was read");
        }
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (done != content.size())
        return Status(StatusCode::BadInput, path + " shrank while it was read");
    return content;
}

NewFile::~NewFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

Status NewFile::Create(const std::string& path, unsigned mode) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 static_cast<mode_t>(mode));
    if (fd_ < 0) {
        if (errno == EEXIST) return Status(StatusCode::BadInput, "refusing to overwrite " + path);
        return Failure("cannot create", path);
    }
    path_ = path;
    // The umask may only have narrowed the mode; make it exactly what was asked for.
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) return Failure("cannot write", path_);
    return Status::Success();
}

Status NewFile::Append(std::string_view bytes) {
    if (!WriteAll(fd_, bytes.data(), bytes.size())) return Failure("cannot write", path_);
    return Status::Success();
}

Status NewFile::WriteAt(std::uint64_t offset, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written =
            ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return Failure("cannot write", path_);
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += static_cast<std::uint64_t>(written);
    }
    return Status::Success();
}

Status NewFile::Finish(bool durable) {
    if (durable && ::fsync(fd_) != 0) return Failure("cannot write", path_);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        Status failure = Failure("cannot write", path_);
        ::unlink(path_.c_str());
        return failure;
    }
    return Status::Success();
}

Status WriteNewFile(const std::string& path, const std::string& bytes, unsigned mode) {
    NewFile file;
    Status status = file.Create(path, mode);
    if (status.ok()) status = file.Append(bytes);
    if (status.ok()) status = file.Finish();
    return status;
}

Status WriteFileReplacing(const std::string& path, const std::string& bytes) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return Failure("cannot create a temporary file beside", path);
    if (::fchmod(fd, 0644) != 0 || !FinishFile(fd, bytes)) {
        Status failure = Failure("cannot write", temp);
        ::unlink(temp.c_str());
        return failure;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        Status failure = Failure("cannot rename into place", path);
        ::unlink(temp.c_str());
        return failure;
    }
    return Status::Success();
}

Result<std::string> WriteTemporaryFile(const std::string& name_prefix, const std::string& bytes) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" +
                       name_prefix + "-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return Failure("cannot create a temporary file", path);
    if (!FinishFile(fd, bytes)) {
        Status failure = Failure("cannot write", path);
        ::unlink(path.c_str());
        return failure;
    }
    return path;
}

Status CopyNewFile(const std::string& from, const std::string& to, unsigned mode, bool durable) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return Failure("cannot open", from);
    NewFile out;
    Status status = out.Create(to, mode);
    std::vector<char> chunk(1 << 20);
    while (status.ok()) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) break;
        status = got < 0
                     ? Failure("cannot copy " + from + " to", to)
                     : out.Append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
    }
    if (status.ok()) status = out.Finish(durable);
    ::close(in);
    return status;
}

// Creates the folders of relative below root, each readable by everyone whatever the umask.
Status CreateServedFolders(const std::string& root, const std::string& relative) {
    std::string path = root;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t slash = relative.find('/', start);
        if (slash == std::string::npos) slash = relative.size();
        path += '/';
        path.append(relative, start, slash - start);
        start = slash + 1;
        if (::mkdir(path.c_str(), static_cast<mode_t>(kServedFolderMode)) != 0 && errno != EEXIST) {
            return Failure("cannot create the folder", path);
        }
        if (::chmod(path.c_str(), static_cast<mode_t>(kServedFolderMode)) != 0) {
            return Failure("cannot open up the folder", path);
        }
    }
    return Status::Success();
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string ParentDirectory(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

}  // namespace patcher::release
