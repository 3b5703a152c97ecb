// A fresh, uniquely named folder under the temporary directory for one test, removed with its
// content afterwards (read-only files included). Helpers to write and read whole files there.
#pragma once

#include <windows.h>

#include <string>

namespace patcher::win::testing {

class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::wstring& label);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring Join(const std::wstring& name) const;

  private:
    std::wstring path_;
};

// Removes a directory tree; links are removed, never followed.
void RemoveTree(const std::wstring& path);

bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadWholeFile(const std::wstring& path);
bool FileExists(const std::wstring& path);

}  // namespace patcher::win::testing
