#include "tools/release/object_store.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "core/binary_delta.h"
#include "core/chunk_index.h"
#include "core/compressed_form.h"
#include "core/file_hash.h"
#include "core/hex.h"
#include "core/manifest.h"
#include "core/text.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/file_io.h"
#include "tools/release/object_forms.h"

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
    return Refuse("cannot name " + path + ": " + std::strerror(error));
}

// Names `temporary` `name` as Settle does once `check` accepts it; one it refuses goes.
template <typename Check>
Status SettleChecked(const std::string& temporary, const std::string& name, const Check& check,
                     bool& taken) {
    taken = false;
    const Status status = check(temporary);
    if (!status.ok()) {
        ::unlink(temporary.c_str());
        return status;
    }
    return Settle(temporary, name, taken);
}

// Writes the object's chunk index beside it unless one is there: `index` when given, else the one
// its bytes give.
Status WriteIndexBeside(const std::string& object, std::string index, ObjectTally& tally) {
    const std::string name = object + kChunkIndexSuffix;
    if (PathExists(name)) return Status::Success();
    if (index.empty()) {
        Result<std::string> made = ChunkIndexOfFile(object);
        if (!made.ok()) return made.status();
        index = std::move(made).value();
    }
    const std::string temporary = TemporaryBeside(name);
    Status status = WriteNewFile(temporary, index, kServedFileMode);
    bool taken = false;
    if (status.ok()) status = Settle(temporary, name, taken);
    if (status.ok() && !taken) ++tally.chunk_indexes;
    return status;
}

// The groups of an index made for the file of this size and SHA-256, where its form is cut.
Result<std::vector<ChunkGroup>> IndexGroups(const std::string& index, std::uint64_t size,
                                            const std::string& sha256) {
    const std::string_view bytes(index);
    const std::optional<Sha256Digest> digest = DecodeDigestHex(sha256);
    std::string why = "the object's name is not a SHA-256";
    std::optional<ChunkIndexHeader> header;
    if (digest && bytes.size() >= kChunkIndexHeaderBytes) {
        header = ParseChunkIndexHeader(bytes.substr(0, kChunkIndexHeaderBytes), size, *digest, why);
    }
    std::optional<std::vector<ChunkGroup>> groups;
    if (header) {
        groups = ParseChunkGroups(
            bytes.substr(kChunkIndexHeaderBytes, ChunkGroupTableBytes(*header)), *header, why);
    }
    if (!groups) {
        return Status(StatusCode::BadFormat,
                      "the chunk index made for " + sha256 + " does not read back: " + why);
    }
    return std::move(*groups);
}

// The size of the form beside `object`, checked; 0 when there is none.
Status FindForm(const std::string& object, const std::string& sha256, std::uint64_t size,
                std::uint64_t& form_bytes) {
    const std::string name = object + kFormSuffix;
    form_bytes = 0;
    if (!PathExists(name)) return Status::Success();
    std::uint64_t bytes = 0;
    if (!GetFileSize(name, bytes)) return Refuse("cannot read the form " + name);
    const Status status = CheckForm(name, size, sha256);
    if (status.ok()) form_bytes = bytes;
    return status;
}

// Makes the form of the object's bytes at `source` and names it beside `object`, when it is small
// enough to be worth fetching; `index` is the object's chunk index, empty for a small one.
Status WriteFormBeside(const std::string& source, const std::string& object,
                       const std::string& sha256, std::uint64_t size, const std::string& index,
                       int level, ObjectTally& tally, std::uint64_t& form_bytes) {
    form_bytes = 0;
    std::vector<ChunkGroup> groups;
    if (!index.empty()) {
        Result<std::vector<ChunkGroup>> parsed = IndexGroups(index, size, sha256);
        if (!parsed.ok()) return parsed.status();
        groups = std::move(parsed).value();
    }
    const std::string name = object + kFormSuffix;
    const std::string temporary = TemporaryBeside(name);
    Result<std::uint64_t> written = WriteForm(source, size, groups, level, temporary);
    if (!written.ok() || written.value() == 0) return written.status();
    bool taken = false;
    const Status status = SettleChecked(
        temporary, name, [&](const std::string& form) { return CheckForm(form, size, sha256); },
        taken);
    if (!status.ok()) return status;
    if (taken) return FindForm(object, sha256, size, form_bytes);
    ++tally.forms_added;
    tally.forms_added_bytes += written.value();
    form_bytes = written.value();
    return Status::Success();
}

// The object of the release's file `path` is there with the size and SHA-256 given (else
// ContentMismatch), and a large one has the chunk index its bytes give beside it (a missing index
// is only a `note`: players then fetch the file whole).
Status CheckObject(const std::string& objects, const std::string& path, const std::string& sha256,
                   std::uint64_t size, std::string& note) {
    note.clear();
    const std::string object = objects + "/" + ObjectName(sha256);
    const auto mismatch = [&](const std::string& what) {
        return Status(StatusCode::ContentMismatch,
                      "the object of " + path + " " + what + ": " + object);
    };
    std::uint64_t bytes = 0;
    if (!GetFileSize(object, bytes)) return mismatch("is missing");
    if (bytes != size) {
        return mismatch("has " + std::to_string(bytes) + " bytes, not " + std::to_string(size));
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
                   const std::string& sha256, std::uint64_t size, int form_level,
                   ObjectTally& tally, std::uint64_t& form_bytes) {
    const std::string name = ObjectName(sha256);
    const std::string object = objects + "/" + name;
    form_bytes = 0;
    Status status = CreateServedFolders(objects, ParentDirectory(name));
    if (!status.ok()) return status;
    bool taken = PathExists(object);
    std::string index;
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
        if (WantsChunkIndex(size)) {
            Result<std::string> made = ChunkIndexOfFile(temporary);
            status = made.status();
            if (made.ok()) index = std::move(made).value();
        }
        // The form is named before its object, so a crash between the two leaves a form that
        // the next publish of these bytes finds (or gc removes), never an object stored for good
        // without the form it should have.
        if (status.ok()) {
            status = WriteFormBeside(temporary, object, sha256, size, index, form_level, tally,
                                     form_bytes);
        }
        if (status.ok()) status = Settle(temporary, object, taken);
        if (!status.ok()) {
            ::unlink(temporary.c_str());
            return status;
        }
    }
    if (!taken) {
        ++tally.added;
        tally.added_bytes += size;
        return index.empty() ? Status::Success() : WriteIndexBeside(object, index, tally);
    }
    // An object stored before is never written again, so it must already be right: checked
    // whole, and an index that a crash kept from being written is written now. Its form, when it
    // has one, is checked too; one without a form gets none (its form would have been named first).
    ++tally.reused;
    tally.reused_bytes += size;
    std::string missing_index;
    status = CheckObject(objects, path, sha256, size, missing_index);
    if (status.ok() && !missing_index.empty()) status = WriteIndexBeside(object, "", tally);
    if (status.ok() && form_bytes == 0) status = FindForm(object, sha256, size, form_bytes);
    return status;
}

Status StoreDelta(const std::string& objects, const DeltaPair& pair, int level, std::uint64_t below,
                  ObjectTally& tally, std::uint64_t& delta_bytes) {
    delta_bytes = 0;
    const std::string old_object = objects + "/" + ObjectName(pair.old_sha256);
    const std::string new_object = objects + "/" + ObjectName(pair.new_sha256);
    const std::string name = objects + "/" + DeltaObjectName(pair.new_sha256, pair.old_sha256);
    if (!PathExists(old_object)) return Status::Success();
    // One stored before, or by another publish meanwhile, is checked as a new one would be.
    const auto found = [&]() {
        std::uint64_t bytes = 0;
        if (!GetFileSize(name, bytes)) return Refuse("cannot read the delta " + name);
        const Status status = CheckDelta(name, old_object, pair.new_size, pair.new_sha256);
        if (status.ok() && bytes < below) delta_bytes = bytes;
        return status;
    };
    if (PathExists(name)) return found();
    const std::string temporary = TemporaryBeside(name);
    Result<std::uint64_t> written =
        WriteDelta(old_object, pair.old_sha256, new_object, level, below, temporary);
    if (!written.ok() || written.value() == 0) return written.status();
    bool taken = false;
    const Status status = SettleChecked(
        temporary, name,
        [&](const std::string& delta) {
            return CheckDelta(delta, old_object, pair.new_size, pair.new_sha256);
        },
        taken);
    if (!status.ok()) return status;
    if (taken) return found();
    ++tally.deltas_added;
    tally.deltas_added_bytes += written.value();
    delta_bytes = written.value();
    return Status::Success();
}

Result<int> CheckManifestObjects(const std::string& objects, const std::vector<FileEntry>& files,
                                 std::vector<std::string>& notes) {
    for (const FileEntry& file : files) {
        std::string note;
        const Status status =
            CheckObject(objects, std::string(file.path), std::string(file.sha256), file.size, note);
        if (!status.ok()) return status;
        if (!note.empty()) notes.push_back(note);
    }
    return static_cast<int>(files.size());
}

Result<int> CheckListedForms(const std::string& objects, const std::vector<FileEntry>& files,
                             const std::string& form_list) {
    std::unordered_set<std::string> wanted;
    for (const FileEntry& file : files) wanted.emplace(file.sha256);
    // What a patcher takes from the list, each object's form checked once.
    std::unordered_map<std::string, std::uint64_t> listed = ParseFormList(form_list, wanted);
    int checked = 0;
    for (const FileEntry& file : files) {
        const auto entry = listed.find(std::string(file.sha256));
        if (entry == listed.end()) continue;
        const std::string form = objects + "/" + ObjectName(entry->first) + kFormSuffix;
        const auto mismatch = [&](const std::string& what) {
            return Status(StatusCode::ContentMismatch, "the form of " + std::string(file.path) +
                                                           " that " + kFormListName + " lists " +
                                                           what + ": " + form);
        };
        std::uint64_t bytes = 0;
        if (!GetFileSize(form, bytes)) return mismatch("is missing");
        if (bytes != entry->second) {
            return mismatch("has " + std::to_string(bytes) + " bytes, not " +
                            std::to_string(entry->second));
        }
        const Status status = CheckForm(form, file.size, entry->first);
        if (!status.ok()) return status;
        ++checked;
        listed.erase(entry);
    }
    return checked;
}

Result<int> CheckListedDeltas(const std::string& objects, const std::vector<FileEntry>& files,
                              const std::string& delta_list, std::vector<std::string>& notes) {
    std::unordered_map<std::string, std::uint64_t> sizes;
    for (const FileEntry& file : files) sizes[std::string(file.sha256)] = file.size;
    std::unordered_set<std::string> wanted;
    for (const auto& entry : sizes) wanted.insert(entry.first);
    int checked = 0;
    for (const DeltaListing& listed : ParseDeltaList(delta_list, wanted)) {
        const std::string delta =
            objects + "/" + DeltaObjectName(listed.new_sha256, listed.old_sha256);
        const auto mismatch = [&](const std::string& what) {
            return Status(
                StatusCode::ContentMismatch,
                std::string("the delta that ") + kDeltaListName + " lists " + what + ": " + delta);
        };
        const std::string old_object = objects + "/" + ObjectName(listed.old_sha256);
        if (!PathExists(old_object)) {
            notes.push_back(delta + " is not checked: the object it is made from is gone");
            continue;
        }
        std::uint64_t bytes = 0;
        if (!GetFileSize(delta, bytes)) return mismatch("is missing");
        if (bytes != listed.bytes) {
            return mismatch("has " + std::to_string(bytes) + " bytes, not " +
                            std::to_string(listed.bytes));
        }
        const Status status =
            CheckDelta(delta, old_object, sizes[listed.new_sha256], listed.new_sha256);
        if (!status.ok()) return status;
        ++checked;
    }
    return checked;
}

}  // namespace patcher::release
