#include "win/engine/partial_sweep.h"

#include <windows.h>

#include <set>

#include "rules/error_text.h"
#include "rules/resume_rules.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

void DeletePartial(const std::wstring& path, std::uint32_t& deleted) {
    switch (DeletePlainFile(path)) {
        case PlainDelete::Deleted:
            ++deleted;
            LogLine("download: deleted a partial file that no download needs: " + WideToUtf8(path));
            return;
        case PlainDelete::Missing:
            return;
        case PlainDelete::Link:
            LogLine("download: left alone " + WideToUtf8(path) +
                    ", named like a partial file: it is a link to another file");
            return;
        case PlainDelete::Failed:
            break;
    }
    const DWORD code = ::GetLastError();  // before the path conversion can touch it
    LogLine(WithError("download: cannot delete the stale partial file " + WideToUtf8(path), code,
                      "os"));
}

}  // namespace

std::uint32_t DeleteStalePartials(const std::wstring& install_directory,
                                  const std::vector<std::wstring>& keep) {
    std::set<std::wstring> kept;
    for (const std::wstring& path : keep) kept.insert(FoldPathCase(path));
    std::uint32_t deleted = 0;
    // Iterative, so that a deep tree cannot exhaust the stack.
    std::vector<std::wstring> folders;
    if (!install_directory.empty()) folders.push_back(install_directory);
    while (!folders.empty()) {
        const std::wstring folder = std::move(folders.back());
        folders.pop_back();
        WIN32_FIND_DATAW found{};
        unique_hfind find(::FindFirstFileExW(JoinPath(folder, L"*").c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
        if (!find) continue;
        do {
            if (IsDotEntry(found.cFileName)) continue;
            const std::wstring path = JoinPath(folder, found.cFileName);
            const DWORD attributes = found.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) folders.push_back(path);
            } else if (IsPartialFileName(found.cFileName) && kept.count(FoldPathCase(path)) == 0) {
                DeletePartial(path, deleted);
            }
        } while (::FindNextFileW(find.get(), &found));
    }
    return deleted;
}

}  // namespace patcher::win
