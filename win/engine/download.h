// The parallel download: the files a check listed are fetched by a small pool of workers, each body
// streamed into a partial file while it is hashed, and committed over the destination only once
// its size and SHA-256 match the manifest. A transfer that fails, is cancelled or is killed leaves
// its bytes in the partial file, and the next attempt (in this run or a later one) asks only for
// the rest. The patcher's own entry lands as "<exe>.new" beside the running executable, for the
// self-update. The first failure that survives its retries stops the pool.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rules/check_outcome.h"
#include "rules/download_failure.h"
#include "rules/download_progress.h"
#include "rules/patcher_config.h"
#include "win/platform/http_client.h"

namespace patcher::win {

class DownloadPace;

// Both run with the download's lock held: copy what is needed and return.
using DownloadProgressCallback = std::function<void(const rules::DownloadProgress&)>;
using DownloadCancelQuery = std::function<bool()>;

// One GET of a file's body, or of the rest of it when `headers` asks for a range.
using BodyRequest = rules::HttpRequest;
// Where bodies come from: HTTPS through the run's WinHTTP session, or a test's stand-in.
using BodySource =
    std::function<rules::HttpResponse(const BodyRequest&, const rules::HttpAccept&,
                                      const rules::HttpSink&, const rules::HttpProgress&)>;

// Bodies fetched over HTTPS through `client`, which must outlive the source.
BodySource HttpsBodySource(const HttpClient& client);

// Without `pace` the run keeps to config.download_rate_limit; with it, to whatever rate the
// caller gives it meanwhile.
rules::DownloadCode RunDownload(const rules::PatcherConfig& config,
                                const rules::CheckOutcome& outcome,
                                const DownloadProgressCallback& on_progress,
                                const DownloadCancelQuery& cancel_requested, std::string& error,
                                rules::DownloadFault* fault = nullptr,
                                DownloadPace* pace = nullptr);

// RunDownload with the bodies taken from `source`.
rules::DownloadCode RunDownloadFrom(const BodySource& source, const rules::PatcherConfig& config,
                                    const rules::CheckOutcome& outcome,
                                    const DownloadProgressCallback& on_progress,
                                    const DownloadCancelQuery& cancel_requested, std::string& error,
                                    rules::DownloadFault* fault = nullptr,
                                    DownloadPace* pace = nullptr);

// The destination is one of the patcher's own files (its executable and self-update names, its
// settings file, its open support log and the log's rotated copies).
bool IsReservedPath(const std::wstring& destination, std::string& reason);

// Room for the download plus 256 MiB on the install volume. An empty install directory or a failed
// query counts as enough (free stays 0).
bool HasEnoughSpace(const rules::PatcherConfig& config, const rules::CheckOutcome& outcome,
                    std::uint64_t& free_bytes, std::uint64_t& needed_bytes);

}  // namespace patcher::win
