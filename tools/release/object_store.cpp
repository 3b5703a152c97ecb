#include "tools/release/object_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/chunk_index.h"
#include "core/file_hash.h"
#include "core/manifest.h"
#include "core/text.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

Status Refuse(const std::string& message) {
    return Status(StatusCode::BadInput, message);
}

// A name of this run's own beside `path`, cleared of what a crashed run with the same process
// number may have left.
std::string TemporaryBeside(const std::string& path) {
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    return temporary;
}

// Gives `temporary` the name `path` unless something has it already (another publish that stored
// the same bytes): then the temporary copy goes and `taken` is set.
Status Settle(const std::string& temporary, const std::string& path, bool& taken) {
    taken = false;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
        return Status::Success();
    }
    const int error = errno;
    ::unlink(temporary.c_str());
    if (error == EEXIST) {
        taken = true;
        return Status::Success();
    }
    return Refuse("cannot name the object " + path + ": " + std::strerror(error));
}

Status WriteIndexBeside(const std::string& object, ObjectTally& tally) {
    const std::string name = object + kChunkIndexSuffix;
    if (PathExists(name)) return Status::Success();
    Result<std::string> index = ChunkIndexOfFile(object);
    if (!index.ok()) return index.status();
    const std::string temporary = TemporaryBeside(name);
    Status status = WriteNewFile(temporary, index.value(), kServedFileMode);
    bool taken = false;
    if (status.ok()) status = Settle(temporary, name, taken);
    if (status.ok() && !taken) ++tally.chunk_indexes;
    return status;
}

// The object of the release's file `path` is there with the size and SHA-256 given (else
// ContentMismatch), and a large one has the chunk index its bytes give beside it (a missing index
// is only a `note`: players then fetch the file whole).
Status CheckObject(const std::string& objects, const std::string& path, const std::string& sha256,
                   const std::string& size, std::string& note) {
    note.clear();
    const std::string object = objects + "/" + ObjectName(sha256);
    const auto mismatch = [&](const std::string& what) {
        return Status(StatusCode::ContentMismatch,
                      "the object of " + path + " " + what + ": " + object);
    };
    std::uint64_t bytes = 0;
    if (!GetFileSize(object, bytes)) return mismatch("is missing");
    if (std::to_string(bytes) != size) {
        return mismatch("has " + std::to_string(bytes) + " bytes, not " + size);
    }
    Result<std::string> digest = HashFileSha256(object);
    if (!digest.ok() || digest.value() != sha256) return mismatch("does not hash to its name");
    if (!WantsChunkIndex(bytes)) return Status::Success();
    const Status status = CheckChunkIndex(object);
    if (status.code == StatusCode::BadInput) {
        note = path + ": " + status.message + ": players fetch the whole file";
        return Status::Success();
    }
    return status;
}

}  // namespace

std::string ObjectName(const std::string& sha256) {
    return sha256.substr(0, 2) + "/" + sha256;
}

Status StoreObject(const std::string& objects, const std::string& path, const std::string& source,
                   const std::string& sha256, std::uint64_t size, ObjectTally& tally) {
    const std::string name = ObjectName(sha256);
    const std::string object = objects + "/" + name;
    Status status = CreateServedFolders(objects, ParentDirectory(name));
    if (!status.ok()) return status;
    bool taken = PathExists(object);
    if (!taken) {
        const std::string temporary = TemporaryBeside(object);
        status = CopyNewFile(source, temporary, kServedFileMode, /*durable=*/true);
        if (!status.ok()) return status;
        std::uint64_t copied = 0;
        Result<std::string> digest = HashFileSha256(temporary);
        if (!GetFileSize(temporary, copied) || copied != size || !digest.ok() ||
            digest.value() != sha256) {
            ::unlink(temporary.c_str());
            return Refuse(source + " changed while it was being published; publish again");
        }
        status = Settle(temporary, object, taken);
        if (!status.ok()) return status;
    }
    if (!taken) {
        ++tally.added;
        tally.added_bytes += size;
        return WantsChunkIndex(size) ? WriteIndexBeside(object, tally) : Status::Success();
    }
    // An object stored before is never written again, so it must already be right: checked
    // whole, and an index that a crash kept from being written is written now.
    ++tally.reused;
    tally.reused_bytes += size;
    std::string missing_index;
    status = CheckObject(objects, path, sha256, std::to_string(size), missing_index);
    if (status.ok() && !missing_index.empty()) status = WriteIndexBeside(object, tally);
    return status;
}

Result<int> CheckManifestObjects(const std::string& objects, const std::string& manifest,
                                 std::vector<std::string>& notes) {
    Result<std::vector<FileEntry>> files = ParseManifestFiles(manifest);
    if (!files.ok()) return files.status();
    for (const FileEntry& file : files.value()) {
        std::string note;
        const Status status = CheckObject(objects, std::string(file.path), std::string(file.sha256),
                                          std::string(file.size), note);
        if (!status.ok()) return status;
        if (!note.empty()) notes.push_back(note);
    }
    return static_cast<int>(files.value().size());
}

}  // namespace patcher::release
