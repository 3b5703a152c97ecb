// Whole files fetched as their compressed forms: the release's list of the objects that have one,
// and the download of a file from its form's first byte, decoded as it arrives. A form that cannot
// be had or does not hold up leaves the file to the plain download, which carries on from the
// last whole frame the form gave.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "rules/check_outcome.h"
#include "win/engine/download_pool.h"
#include "win/engine/file_transfer.h"

namespace patcher::win {

// One of the release's small unsigned lists (`name` below `base_url`), whole, into `text`.
rules::HttpResponse FetchReleaseList(const BodySource& source, const std::wstring& base_url,
                                     const char* name, std::uint64_t cap, std::string& text);

// The form sizes of the files in `items` that have one, by SHA-256; empty, with one log line,
// when the release has no list or it cannot be had.
std::unordered_map<std::string, std::uint64_t> FetchFormList(const BodySource& source,
                                                             const std::wstring& base_url,
                                                             const std::vector<DiffItem>& items);

// From the first byte of the file: one request for the whole form of `form_bytes`.
DecodeResult FetchWholeForm(const BodySource& source, const DiffItem& item,
                            std::uint64_t form_bytes, Transfer& transfer, std::string& why);

}  // namespace patcher::win
