// Why a download ended before its files were in place, as the player is told it: a headline that
// says what happened and what to do, and a detail line that names the file and the reason. The
// support log keeps the download's whole diagnostic; these texts only sort it.
#pragma once

#include <cstdint>
#include <string>

#include "model/http_types.h"

namespace patcher::win {

// One file's result, and the whole download's. The numbers are the check's for the same outcome:
// --update reports them as DOWNLOAD_CODE and exits with them.
enum class DownloadCode : std::uint32_t {
    Committed = 0,
    Failed = 1,     // a refused destination, a local or transport failure, or a cancellation
    Ambiguous = 6,  // the set names one file twice (the whole download only)
    Mismatch = 7,   // a body that does not match the manifest
};

enum class DownloadFailure : std::uint8_t {
    None,                // nothing the player must act on (no failure, or the player cancelled)
    Transfer,            // connection lost, time-out, a 4xx or 5xx, a cut or refused body
    ProxyAuth,           // the proxy between the player and the server wants credentials
    DiskFull,            // the install volume filled up while a file was written
    RefusedDestination,  // the folder cannot take the file: a reserved name, a link, no access
    Mismatch,            // the bytes received are not the release's file
    Local,               // anything else on this machine
};

struct DownloadFault {
    DownloadFailure kind = DownloadFailure::None;
    std::string path;  // the release's name of the file, UTF-8; empty when no one file failed
    HttpError http = HttpError::Ok;
    std::uint32_t status = 0;  // the last HTTP status read, 0 when none
};

// Wide, for the window's status region.
std::wstring DownloadFailureHeadline(DownloadFailure kind);
std::wstring DownloadFailureDetail(const DownloadFault& fault);

}  // namespace patcher::win
