#include "win/platform/plain_file.h"

#include "rules/path_text.h"
#include "win/platform/last_error.h"
#include "win/platform/paths.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool FinalPathOf(HANDLE handle, std::wstring& out) {
    return GrowingWideCall(
        [&](wchar_t* buffer, std::uint32_t size) {
            return ::GetFinalPathNameByHandleW(handle, buffer, size, 0);
        },
        out);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Where the folder of `path` really is, so that a game folder that is itself reached through a
// link (a second drive mounted into the home folder) does not make all its files look like links.
bool FinalFolderOf(const std::wstring& path, std::wstring& out) {
    const std::wstring parent = ParentPath(path);
    if (parent.empty()) return false;
    unique_hfile folder(::CreateFileW(parent.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder && FinalPathOf(folder.get(), out);
}

bool ClearReadOnly(HANDLE file, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != 0;
}

}  // namespace

bool IsReachedThroughALink(HANDLE handle, const std::wstring& path) {
    std::wstring reached;
    if (!FinalPathOf(handle, reached)) return false;
    std::wstring folder;
    if (!FinalFolderOf(path, folder)) {
        return !SameName(LastPathPart(path), LastPathPart(reached));
    }
    if (!folder.empty() && folder.back() != L'\\') folder.push_back(L'\\');
    return !SameName(folder + LastPathPart(path), reached);
}

bool IsLinkToAnotherFile(const std::wstring& path) {
    unique_hfile probe(
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return probe && IsReachedThroughALink(probe.get(), path);
}

bool IsPlainSingleLinkFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return false;
    const DWORD odd = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return (info.dwFileAttributes & odd) == 0 && info.nNumberOfLinks == 1;
}

bool DeleteThroughHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                        sizeof(disposition)) != 0;
}

unique_hfile OpenPlainFileForReading(const std::wstring& path) {
    const std::wstring parent = ParentPath(path);
    if (!parent.empty() && AnyAncestorIsReparsePoint(parent)) return unique_hfile();
    if (IsReparsePoint(path)) return unique_hfile();
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file && (IsReachedThroughALink(file.get(), path) || !IsPlainSingleLinkFile(file.get()))) {
        file.reset();
    }
    return file;
}

PlainDelete DeletePlainFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PlainDelete::Missing
                                                                              : PlainDelete::Failed;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return PlainDelete::Link;
    }
    unique_hfile file(
        ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                      kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return PlainDelete::Failed;
    // A second hard link is a name of its own, which may go: the file keeps its other name.
    if (IsReachedThroughALink(file.get(), path)) return PlainDelete::Link;
    if (!ClearReadOnly(file.get(), attributes) || !DeleteThroughHandle(file.get())) {
        const last_error_context keep;
        file.reset();
        return PlainDelete::Failed;
    }
    file.reset();
    return PlainDelete::Deleted;
}

PlainDelete DeletePlainFileRetrying(const std::wstring& path, int retries) {
    for (int attempt = 0;; ++attempt) {
        const PlainDelete result = DeletePlainFile(path);
        if (result != PlainDelete::Failed || attempt >= retries) return result;
        ::Sleep(300);
    }
}

}  // namespace patcher::win
