// Files made from a binary delta: the release's list says which deltas exist, the check learns the
// SHA-256 of each old copy a listed delta starts from and plans that delta for the file, and the
// download fetches the delta (resumably, into a partial file of its own), then decodes it with the
// old copy as its prefix into the file's partial file. Nothing of it is trusted: the file is
// verified against the manifest like any other, and a delta that cannot be had or does not make
// the file only leaves the file to the chunked or whole download.
#pragma once

#include <string>

#include "rules/check_outcome.h"
#include "win/engine/download_pool.h"
#include "win/engine/file_transfer.h"

namespace patcher::win {

// The copy of the item on disk that a delta starts from: the running patcher for its own entry.
std::wstring OldCopyPath(const DiffItem& item, const std::wstring& install_directory);

// "<destination>.from-<12 hex of the old copy>~<12 hex of the new file>.g2part": a name no
// manifest path can take, swept like any partial file when no download needs it.
std::wstring DeltaPartialPathOf(const std::wstring& destination, const DiffItem& item);

// Plans the deltas of `outcome.diff` from the release at `base_url` and sets its fetch_bytes.
// Without a list, or one that names none of the files, nothing is planned.
void PlanReleaseDeltas(const BodySource& source, const std::wstring& base_url,
                       const std::wstring& install_directory, rules::CheckOutcome& outcome);

// Makes the file from its planned delta. `delta_file` holds the delta's bytes on their way:
// resumable for a game file, a temporary file for the patcher's own.
DecodeResult FetchAndDecodeDelta(const BodySource& source, const DiffItem& item,
                                 const std::wstring& old_copy, AtomicFile& delta_file,
                                 Transfer& transfer, std::string& why);

}  // namespace patcher::win
