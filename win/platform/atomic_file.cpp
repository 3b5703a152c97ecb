#include "win/platform/atomic_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "win/platform/last_error.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"

namespace patcher::win {

using namespace rules;

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

HANDLE OpenPartial(const std::wstring& path, DWORD disposition) {
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
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
    DeleteOwnFile();
}

void AtomicFile::Discard() {
    if (handle_ && !renamed_) DeleteOwnFile();
}

void AtomicFile::DeleteOwnFile() {
    // Deleting through our own handle removes exactly the file we wrote, even if something else
    // took its name in the meantime.
    const bool marked = DeleteThroughHandle(handle_.get());
    handle_.reset();
    if (!marked) ::DeleteFileW(temp_.c_str());
}

bool AtomicFile::Prepare(const std::wstring& target, const std::wstring& temp,
                         CheckedFolders* checked) {
    {
        const last_error_context keep;
        Abandon();
    }
    committed_ = false;
    renamed_ = false;
    keep_ = false;
    link_refused_ = false;
    target_ = target;
    temp_ = temp;

    const std::wstring parent = ParentPath(target_);
    if (!parent.empty() && !(checked && checked->Contains(parent))) {
        // Scanned before the directory is prepared too, so that no folder is ever created through
        // a link, and again afterwards for a link that appeared meanwhile.
        if (AnyAncestorIsReparsePoint(parent)) return false;
        if (!EnsureDirectory(parent)) return false;
        if (AnyAncestorIsReparsePoint(parent)) return false;
        if (checked) checked->Add(parent);
    }
    return !IsReparsePoint(target_);
}

// A name that did not exist and yet cannot be created is a link to nothing, under Wine, which
// would have created the file it leads to.
void AtomicFile::NoteDanglingLink() {
    if (!handle_ && ::GetLastError() == ERROR_FILE_EXISTS) link_refused_ = true;
}

bool AtomicFile::Open(const std::wstring& target) {
    if (!Prepare(target, target + L".tmp", nullptr) || IsReparsePoint(temp_)) return false;

    // A stale temporary file from an earlier run is overwritten, unless it is a link: clearing its
    // attributes or truncating it would change the file it points at. A name that does not exist
    // is created afresh, which a dangling link refuses instead of creating its target.
    const DWORD temp_attributes = ::GetFileAttributesW(temp_.c_str());
    const bool stale = Exists(temp_attributes);
    if (stale && IsLinkToAnotherFile(temp_)) {
        link_refused_ = true;
        return false;
    }
    if (stale && (temp_attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        ::SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // Read access too, so that what was written can be read back (a delta, before it decodes).
    HANDLE created = ::CreateFileW(temp_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                   stale ? CREATE_ALWAYS : CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    handle_.reset(created);
    if (!stale) NoteDanglingLink();
    return handle_.is_valid();
}

bool AtomicFile::OpenResumable(const std::wstring& target, const std::wstring& partial,
                               CheckedFolders* checked) {
    if (!Prepare(target, partial, checked)) return false;
    const DWORD attributes = ::GetFileAttributesW(temp_.c_str());
    if (Exists(attributes)) {
        // A link is neither reused nor removed: either would reach the file it points at.
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || IsLinkToAnotherFile(temp_)) {
            link_refused_ = true;
            return false;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ::SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        handle_.reset(OpenPartial(temp_, OPEN_EXISTING));
        if (handle_ && !IsPlainSingleLinkFile(handle_.get())) {
            // A second name of some other file: drop only this name and start a file of our own.
            handle_.reset();
            if (DeletePlainFile(temp_) != PlainDelete::Deleted) return false;
            handle_.reset(OpenPartial(temp_, CREATE_NEW));
        }
    } else {
        handle_.reset(OpenPartial(temp_, CREATE_NEW));
        NoteDanglingLink();
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
