#include "win/platform/atomic_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "win/platform/last_error.h"
#include "win/platform/paths.h"

namespace patcher::win {
namespace {

constexpr DWORD kErrorAlreadyExists = 183;
constexpr std::uint32_t kWriteChunk = 1048576;

bool Exists(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES;
}
bool IsRealDirectory(DWORD attributes) {
    return Exists(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// A link anywhere between the drive root and the destination could send the write to a place the
// caller never named. Indices 0-2 are skipped so that "C:\" or the "\\" of a UNC path is not
// examined as a prefix.
bool AnyAncestorIsReparsePoint(const std::wstring& directory) {
    for (std::size_t i = 3; i < directory.size(); ++i) {
        if (directory[i] != L'\\' && directory[i] != L'/') continue;
        if (IsReparsePoint(directory.substr(0, i))) return true;
    }
    return IsReparsePoint(directory);
}

std::wstring LastComponent(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Wine shows a host symbolic link to a file as a plain file, without the reparse attribute, and
// follows it: truncating a stale temporary file that is such a link would truncate, and dropping
// the writer would delete, the file it points to. The link shows only in the final path of an
// open handle, whose last component then names another file. A path whose final name cannot be
// read is not refused.
bool ExistingFileIsReachedThroughALink(const std::wstring& path) {
    unique_hfile probe(::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    if (!probe) return false;
    std::wstring final_path;
    if (!GrowingWideCall(
            [&](wchar_t* buffer, std::uint32_t size) {
                return ::GetFinalPathNameByHandleW(probe.get(), buffer, size, 0);
            },
            final_path)) {
        return false;
    }
    const std::wstring expected = LastComponent(path);
    const std::wstring actual = LastComponent(final_path);
    return ::CompareStringOrdinal(expected.data(), static_cast<int>(expected.size()), actual.data(),
                                  static_cast<int>(actual.size()), TRUE) != CSTR_EQUAL;
}

}  // namespace

bool EnsureDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    // Walk up to the deepest existing ancestor first, then create downwards. Iterative rather than
    // recursive so that a path of thousands of components cannot exhaust a worker's stack.
    std::vector<std::wstring> missing;
    std::wstring current = path;
    for (;;) {
        const DWORD attributes = ::GetFileAttributesW(current.c_str());
        if (Exists(attributes)) {
            if (!IsRealDirectory(attributes)) return false;
            break;
        }
        missing.push_back(current);
        const std::wstring parent = ParentPath(current);
        // A drive designator such as "C:" is never created.
        if (parent.empty() || parent == current || parent.size() <= 2) break;
        current = parent;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!::CreateDirectoryW(it->c_str(), nullptr) && ::GetLastError() != kErrorAlreadyExists) {
            return false;
        }
        if (!IsRealDirectory(::GetFileAttributesW(it->c_str()))) return false;
    }
    return true;
}

AtomicFile::~AtomicFile() {
    Abandon();
}

void AtomicFile::Abandon() {
    if (!handle_) return;
    if (renamed_ || keep_) {
        handle_.reset();
        return;
    }
    DeleteThroughHandle();
}

void AtomicFile::Discard() {
    if (handle_ && !renamed_) DeleteThroughHandle();
}

void AtomicFile::DeleteThroughHandle() {
    // Deleting through our own handle removes exactly the file we wrote, even if something else
    // took its name in the meantime.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const bool marked = ::SetFileInformationByHandle(handle_.get(), FileDispositionInfo,
                                                     &disposition, sizeof(disposition)) != 0;
    handle_.reset();
    if (!marked) ::DeleteFileW(temp_.c_str());
}

bool AtomicFile::Prepare(const std::wstring& target, const std::wstring& temp) {
    {
        const last_error_context keep;
        Abandon();
    }
    committed_ = false;
    renamed_ = false;
    keep_ = false;
    target_ = target;
    temp_ = temp;

    const std::wstring parent = ParentPath(target_);
    if (!parent.empty()) {
        // Scanned before the directory is prepared too, so that no folder is ever created through
        // a link, and again afterwards for a link that appeared meanwhile.
        if (AnyAncestorIsReparsePoint(parent)) return false;
        if (!EnsureDirectory(parent)) return false;
        if (AnyAncestorIsReparsePoint(parent)) return false;
    }
    return !IsReparsePoint(target_);
}

bool AtomicFile::Open(const std::wstring& target) {
    if (!Prepare(target, target + L".tmp") || IsReparsePoint(temp_)) return false;

    // A stale read-only temporary file from an earlier run would block the create below. The link
    // test comes first: clearing the attributes through a link would change the file it points at.
    const DWORD temp_attributes = ::GetFileAttributesW(temp_.c_str());
    if (Exists(temp_attributes) && ExistingFileIsReachedThroughALink(temp_)) return false;
    if (Exists(temp_attributes) && (temp_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    HANDLE created = ::CreateFileW(temp_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    handle_.reset(created);
    return handle_.is_valid();
}

namespace {

bool IsPlainSingleLinkFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    const DWORD odd = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return (info.dwFileAttributes & odd) == 0 && info.nNumberOfLinks == 1;
}

HANDLE OpenPartial(const std::wstring& path, DWORD disposition) {
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
}

}  // namespace

unique_hfile OpenPlainFileForReading(const std::wstring& path) {
    const std::wstring parent = ParentPath(path);
    if (!parent.empty() && AnyAncestorIsReparsePoint(parent)) return unique_hfile();
    if (IsReparsePoint(path) || ExistingFileIsReachedThroughALink(path)) return unique_hfile();
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && !IsPlainSingleLinkFile(file.get())) file.reset();
    return file;
}

bool AtomicFile::OpenResumable(const std::wstring& target, const std::wstring& partial) {
    if (!Prepare(target, partial)) return false;
    const DWORD attributes = ::GetFileAttributesW(temp_.c_str());
    if (Exists(attributes)) {
        // Deleting a link removes the link, never the file it leads to.
        const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
                          ExistingFileIsReachedThroughALink(temp_);
        if (link && !::DeleteFileW(temp_.c_str())) return false;
        if (!link && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ::SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
    handle_.reset(OpenPartial(temp_, OPEN_ALWAYS));
    if (handle_ && !IsPlainSingleLinkFile(handle_.get())) {
        // A second name for some other file: drop only this name and start a file of our own.
        handle_.reset();
        if (!::DeleteFileW(temp_.c_str())) return false;
        handle_.reset(OpenPartial(temp_, CREATE_NEW));
    }
    if (!handle_) return false;
    keep_ = true;
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(handle_.get(), zero, nullptr, FILE_END) != 0;
}

bool AtomicFile::Size(std::uint64_t& bytes) const {
    LARGE_INTEGER size{};
    if (!handle_ || !::GetFileSizeEx(handle_.get(), &size)) return false;
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool AtomicFile::ReadExisting(const std::function<bool(const char*, std::uint32_t)>& sink) {
    LARGE_INTEGER zero{};
    if (!handle_ || renamed_ || !::SetFilePointerEx(handle_.get(), zero, nullptr, FILE_BEGIN)) {
        return false;
    }
    std::vector<char> buffer(262144);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(handle_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                        nullptr)) {
            return false;
        }
        if (read == 0) break;
        if (!sink(buffer.data(), read)) return false;
    }
    return ::SetFilePointerEx(handle_.get(), zero, nullptr, FILE_END) != 0;
}

bool AtomicFile::Truncate() {
    LARGE_INTEGER zero{};
    return handle_ && !renamed_ &&
           ::SetFilePointerEx(handle_.get(), zero, nullptr, FILE_BEGIN) != 0 &&
           ::SetEndOfFile(handle_.get()) != 0;
}

bool AtomicFile::Write(const void* data, std::uint32_t length) {
    if (!handle_ || renamed_) return false;
    if (length == 0) return true;
    if (data == nullptr) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::uint32_t done = 0;
    while (done < length) {
        const DWORD chunk = std::min(length - done, kWriteChunk);
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), bytes + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool RenameOpenFile(HANDLE file, const std::wstring& target) {
    const std::size_t name_bytes = target.size() * sizeof(wchar_t);
    // Zero-filled, with room for the name after the fixed header (the header's one-character
    // array leaves space for a terminator).
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name_bytes);
    std::memcpy(info->FileName, target.data(), name_bytes);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != 0;
}

bool AtomicFile::Commit() {
    if (!handle_ || committed_ || renamed_) return false;
    if (!::FlushFileBuffers(handle_.get())) return false;

    if (!RenameOpenFile(handle_.get(), target_)) {
        const DWORD rename_error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(target_.c_str());
        const bool read_only_file =
            Exists(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        if (!read_only_file) {
            ::SetLastError(rename_error);
            return false;
        }
        DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileAttributesW(target_.c_str(), cleared)) return false;
        if (!RenameOpenFile(handle_.get(), target_)) {
            const last_error_context keep;
            ::SetFileAttributesW(target_.c_str(), attributes);
            return false;
        }
    }
    renamed_ = true;
    if (!::FlushFileBuffers(handle_.get())) return false;
    handle_.reset();
    committed_ = true;
    return true;
}

}  // namespace patcher::win
