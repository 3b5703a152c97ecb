// The download's pool from the inside: what its workers share, and the steps of one file that
// the chunk, delta and compressed-form paths take part in.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "rules/download_phases.h"
#include "win/engine/download.h"
#include "win/platform/checked_folders.h"

namespace patcher::win {

class Transfer;

// Why a file, or the whole download, failed: the diagnostic for the log and the report, and the
// fault the player is told about.
struct DownloadError {
    std::string diagnostic;
    rules::DownloadFault fault;
};

// Shared by the workers of one run. Everything but the atomics is read and written under `lock`.
struct DownloadShared {
    std::mutex lock;
    rules::DownloadProgress progress;
    std::uint32_t committed = 0;
    bool has_failure = false;
    std::uint32_t failure_index = 0;
    rules::DownloadCode failure_code = rules::DownloadCode::Committed;
    DownloadError failure;
    rules::DownloadPhaseTotals phases;  // every worker's, added as it ends
    // The game files committed, for the verified-file records.
    std::vector<const DiffItem*> committed_items;
    CheckedFolders checked_folders;  // the folders files were written into, examined once
    // The compressed forms' sizes by SHA-256, set before the workers start and only read after.
    std::unordered_map<std::string, std::uint64_t> forms;
    // One delta decodes at a time: it holds the old copy and a window as large as the new file.
    std::mutex delta_decode;
    std::atomic<std::uint32_t> next_index{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> cancelled{false};
    // A worker's exception could not even be recorded as its failure.
    std::atomic<bool> out_of_memory{false};
    DownloadProgressCallback on_progress;
    DownloadCancelQuery cancel_requested;
    DownloadPace* pace = nullptr;  // the run's speed limit; none without it
};

// The result of making a file from a compressed form or a delta.
enum class DecodeResult {
    Decoded,   // the file is complete, still to be verified
    Fallback,  // `why` says what went wrong; the file may hold decoded bytes, to be emptied
    Cancelled,
};

// Fetches what `transfer` still lacks of `expected` bytes from `item.url`, carrying on from what it
// has in up to kDownloadAttempts attempts.
rules::DownloadCode FetchRest(const BodySource& source, const DiffItem& item,
                              std::uint64_t expected, Transfer& transfer, DownloadError& error);

// One file, in at most kDownloadAttempts attempts, carrying on from its partial file.
rules::DownloadCode DownloadOneFile(const BodySource& source, const DiffItem& item,
                                    const std::wstring& install_directory, DownloadShared& shared,
                                    bool& cancelled, DownloadError& error);

// True once the pool must wind down; asks the player's cancel query otherwise.
bool IsCancelled(DownloadShared& shared);

// The log's and the report's line for a file whose transfer failed for `why`.
std::string TransferFailure(const DiffItem& item, const std::string& why);

// What follows an attempt of a transfer that failed.
enum class NextAttempt { Retry, GiveUp, Cancelled };

// After attempt `attempt` failed with `response`: gives up when another attempt cannot mend the
// failure or none is left; otherwise logs `failure` and what the next attempt `resumes` with, and
// waits out the pause before it, which the run's winding down ends.
NextAttempt AfterFailedAttempt(DownloadShared& shared, std::uint32_t attempt,
                               const rules::HttpResponse& response, const std::string& failure,
                               const std::string& resumes);

}  // namespace patcher::win
