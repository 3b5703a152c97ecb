// An update of a large file that fetches only what changed: the file's published chunk index is
// read a part at a time with Range requests, the old copy on disk is cut with the publisher's
// chunking rule, every chunk the old copy holds is copied from it and the rest is fetched as
// ranges of the new file, all in order into the file's partial file. Nothing the index says is
// trusted: the whole file is still verified against the manifest before it is committed, and any
// doubt about the index ends in a plain download of the rest.
#pragma once

#include <string>

#include "win/engine/download_pool.h"
#include "win/engine/file_transfer.h"

namespace patcher::win {

// The chunk path's result, and each of its steps': Done is a finished step, and at the end a
// complete file, still to be verified.
enum class ChunkedResult {
    Done,
    Fallback,  // nothing more can be had this way: `why` says what went wrong
    Failed,    // a transport failure that outlived its retries: `why` is the error
    Cancelled,
};

// True when the chunk path is worth trying: a file large enough to have an index, an old copy of
// the destination on disk, and bytes still missing.
bool ChunkedFetchApplies(const DiffItem& item, const std::wstring& destination,
                         const Transfer& transfer);

// With `form_bytes` (the size of the file's compressed form, 0 for none) the ranges it needs are
// fetched as the form's frames that hold them wherever that takes fewer bytes.
ChunkedResult FetchChangedChunks(const BodySource& source, const DiffItem& item,
                                 const std::wstring& old_copy, std::uint64_t form_bytes,
                                 Transfer& transfer, std::string& why);

}  // namespace patcher::win
