// How a download ended: the code the check and --update report, and, for a download that ended
// before its files were in place, the kind of failure the player is told about. The support log
// keeps the download's whole diagnostic; the kind only sorts it.
#pragma once

#include <cstdint>
#include <string>

#include "rules/http_types.h"

namespace patcher::rules {

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

}  // namespace patcher::rules
