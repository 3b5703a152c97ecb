#include "win/engine/verified_files.h"

#include <windows.h>

#include "core/sha256.h"
#include "rules/path_text.h"
#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

bool ReadRecordsFile(const std::wstring& path, std::string& text) {
    const unique_hfile file = OpenPlainFileForReading(path);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > kVerifiedRecordsCapBytes) {
        return false;
    }
    text.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    return text.empty() ||
           (::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) &&
            got == text.size());
}

}  // namespace

std::optional<FileStamp> FileStampOf(const std::wstring& path) {
    const unique_hfile file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    stamp.write_time = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                       info.ftLastWriteTime.dwLowDateTime;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.file_index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return stamp;
}

RecordedFiles::RecordedFiles(const std::wstring& data_directory, bool trust)
    : path_(JoinPath(data_directory, Utf8ToWide(kVerifiedRecordsName))), trust_(trust) {
    std::string text;
    if (!ReadRecordsFile(path_, text)) return;  // none yet, or none that can be read
    if (std::optional<VerifiedRecords> records = VerifiedRecords::Parse(text)) {
        records_ = std::move(*records);
        loaded_sha256_ = Sha256Hex(text);
    } else {
        LogLine("check: the verified-file records do not read; every file is hashed");
    }
}

// Every plain file of `folder` with its stamp, from one listing (FILE_ID_BOTH_DIR_INFO carries
// the file index); empty when the folder cannot be listed.
std::map<std::wstring, FileStamp> ListFolder(const std::wstring& folder) {
    std::map<std::wstring, FileStamp> files;
    const unique_hfile handle(
        ::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !::GetFileInformationByHandle(handle.get(), &info)) return files;
    // A file's volume is its folder's: a mount point is a folder, and folders are not listed.
    const DWORD volume = info.dwVolumeSerialNumber;
    std::vector<std::uint64_t> buffer(8192);  // 64 KiB, aligned for the entries
    const auto bytes = reinterpret_cast<const char*>(buffer.data());
    for (auto kind = FileIdBothDirectoryRestartInfo; ::GetFileInformationByHandleEx(
             handle.get(), kind, buffer.data(), static_cast<DWORD>(buffer.size() * 8));
         kind = FileIdBothDirectoryInfo) {
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
            if ((entry->FileAttributes &
                 (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
                FileStamp stamp;
                stamp.size = static_cast<std::uint64_t>(entry->EndOfFile.QuadPart);
                stamp.write_time = static_cast<std::uint64_t>(entry->LastWriteTime.QuadPart);
                stamp.volume = volume;
                stamp.file_index = static_cast<std::uint64_t>(entry->FileId.QuadPart);
                files.emplace(FoldPathCase(std::wstring(entry->FileName,
                                                        entry->FileNameLength / sizeof(wchar_t))),
                              stamp);
            }
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    return files;
}

const RecordedFiles::Listing& RecordedFiles::ListingOf(const std::wstring& folder) {
    const std::wstring key = FoldPathCase(folder);
    const auto found = listings_.find(key);
    if (found != listings_.end()) return found->second;
    return listings_.emplace(key, ListFolder(folder)).first->second;
}

std::optional<FileStamp> RecordedFiles::StampOf(const std::string& file) {
    const std::wstring path = Utf8ToWide(file);
    const std::lock_guard<std::mutex> hold(lock_);
    const Listing& listing = ListingOf(ParentPath(path));
    const auto found = listing.find(FoldPathCase(LastPathPart(path)));
    if (found == listing.end()) return std::nullopt;
    return found->second;
}

bool RecordedFiles::Vouches(const std::string& path, const FileStamp& stamp,
                            std::string_view sha256) {
    if (!trust_) return false;
    const std::lock_guard<std::mutex> hold(lock_);
    if (!records_.Vouches(path, stamp, sha256)) return false;
    ++vouched_;
    return true;
}

void RecordedFiles::Verified(const std::string& path, const std::string& file,
                             const FileStamp& before, std::string_view sha256) {
    // Asked of the file itself: the listing is as old as the check.
    if (FileStampOf(Utf8ToWide(file)) != before) return;
    const std::lock_guard<std::mutex> hold(lock_);
    records_.Set(path, before, sha256);
}

void RecordedFiles::Committed(const std::string& path, const std::wstring& file, std::uint64_t size,
                              std::string_view sha256) {
    const std::optional<FileStamp> stamp = FileStampOf(file);
    if (!stamp || stamp->size != size) return;
    const std::lock_guard<std::mutex> hold(lock_);
    records_.Set(path, *stamp, sha256);
}

std::string RecordedFiles::DigestOf(const std::string& path, const std::string& file) {
    const std::optional<FileStamp> stamp = StampOf(file);
    if (!stamp) return std::string();
    const std::lock_guard<std::mutex> hold(lock_);
    return records_.DigestOf(path, *stamp);
}

void RecordedFiles::Forget(const std::string& path) {
    const std::lock_guard<std::mutex> hold(lock_);
    records_.Drop(path);
}

void RecordedFiles::KeepOnly(std::vector<std::string_view> paths) {
    const std::lock_guard<std::mutex> hold(lock_);
    records_.KeepOnly(std::move(paths));
}

bool RecordedFiles::Save() {
    std::string text;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        listings_.clear();
        text = records_.Text();
    }
    const std::string digest = Sha256Hex(text);
    if (digest == loaded_sha256_) return true;
    AtomicFile file;
    if (file.Open(path_) && file.Write(text.data(), static_cast<std::uint32_t>(text.size())) &&
        file.Commit()) {
        loaded_sha256_ = digest;
        return true;
    }
    LogLine("check: cannot write the verified-file records " + WideToUtf8(path_));
    return false;
}

}  // namespace patcher::win
