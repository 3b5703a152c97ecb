#include "win/platform/support_log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

struct LogState {
    std::mutex lock;
    unique_hfile handle;
    std::wstring path;
    std::uint64_t size = 0;
};

// Created on first use and never destroyed: threads may still log while the process exits.
LogState& State() {
    static LogState* state = new LogState();
    return *state;
}

class LogLock {
  public:
    explicit LogLock(LogState& state) : hold_(state.lock) {}

  private:
    std::lock_guard<std::mutex> hold_;
};

// Caller holds the lock.
bool OpenLogPath(LogState& state, const std::wstring& path) {
    // Append-only data access: every write lands at the end even if another program appended.
    // Readers may look at the log while we run; nobody else may write or delete it.
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    state.handle.reset(file);
    state.path = path;
    LARGE_INTEGER size{};
    state.size = ::GetFileSizeEx(file, &size) && size.QuadPart > 0
                     ? static_cast<std::uint64_t>(size.QuadPart)
                     : 0;
    return true;
}

// Caller holds the lock. Failing deletes and moves are ignored: the caller reopens the path
// anyway and, when the file could not be moved away, keeps appending to it.
void Rotate(LogState& state, const std::wstring& path) {
    state.handle.reset();
    const std::wstring first = path + L".1";
    const std::wstring second = path + L".2";
    ::DeleteFileW(second.c_str());
    ::MoveFileExW(first.c_str(), second.c_str(), MOVEFILE_REPLACE_EXISTING);
    ::MoveFileExW(path.c_str(), first.c_str(), MOVEFILE_REPLACE_EXISTING);
    state.size = 0;
}

// When the reopen fails the log falls silent, but the path stays known so that the download
// still refuses to overwrite the log and its rotated copies.
void RotateAndReopen(LogState& state) {
    const std::wstring path = state.path;
    Rotate(state, path);
    OpenLogPath(state, path);
}

std::string Timestamp() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof(text), "%02u%02u-%02u-%02uT%02u:%02u:%02uZ ",
                  static_cast<unsigned>(now.wYear / 100 % 100),
                  static_cast<unsigned>(now.wYear % 100), static_cast<unsigned>(now.wMonth % 100),
                  static_cast<unsigned>(now.wDay % 100), static_cast<unsigned>(now.wHour % 100),
                  static_cast<unsigned>(now.wMinute % 100),
                  static_cast<unsigned>(now.wSecond % 100));
    return text;
}

}  // namespace

void LogOpen(const std::wstring& first_directory, const std::wstring& second_directory) {
    LogState& state = State();
    LogLock lock(state);
    if (state.handle) return;
    for (const std::wstring* directory : {&first_directory, &second_directory}) {
        if (state.handle) break;
        if (directory->empty() || !EnsureDirectory(*directory)) continue;
        if (!OpenLogPath(state, JoinPath(*directory, L"patcher.log"))) continue;
        if (state.size >= kLogRotateBytes) RotateAndReopen(state);
    }
}

void LogLine(const std::string& message) {
    LogState& state = State();
    LogLock lock(state);
    if (!state.handle) return;
    std::string line = Timestamp();
    line.reserve(line.size() + message.size() + 2);
    for (const char c : message) {
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    line += "\r\n";
    DWORD written = 0;
    if (!::WriteFile(state.handle.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                     nullptr)) {
        return;
    }
    state.size += written;
    if (state.size >= kLogRotateBytes) RotateAndReopen(state);
}

void LogLineWide(const std::wstring& message) {
    LogLine(WideToUtf8(message));
}

std::wstring LogPath() {
    LogState& state = State();
    LogLock lock(state);
    return state.path;
}

void LogClose() {
    LogState& state = State();
    LogLock lock(state);
    state.handle.reset();
    state.path.clear();
    state.size = 0;
}

}  // namespace patcher::win
