// The support log "patcher.log": one UTC-stamped line per event, in English, for support staff.
// Rotated by size into "patcher.log.1" and "patcher.log.2". Process-wide and callable from any
// thread; every write, rotation and path read happens under one lock.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::win {

// The size at which the log is rotated.
inline constexpr std::uint64_t kLogRotateBytes = 1048576;

// Opens the log in the first usable of the two directories. Does nothing while a log is open.
// Start-up calls it before any other thread exists.
void LogOpen(const std::wstring& first_directory, const std::wstring& second_directory);

// Appends one line. Control characters become spaces so that one message is always one line.
// Does nothing before LogOpen or when no directory was usable; failures are silent.
void LogLine(const std::string& message);
void LogLineWide(const std::wstring& message);

// The path of the open log; empty when none is open.
std::wstring LogPath();

// For tests only: closes the log so that a test can reopen it in a scratch folder and release the
// files it made. The running patcher never closes its log.
void LogClose();

}  // namespace patcher::win
