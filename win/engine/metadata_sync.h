// Fetching the four release metadata files from the release server into the staging directory.
#pragma once

#include <string>

#include "win/platform/http_client.h"

namespace patcher::win {

// One release file, stored atomically: the destination keeps its old content on any failure.
// http_error is the request's outcome (OK when only the write failed).
bool FetchToFile(const HttpClient& client, const std::wstring& url, const std::wstring& destination,
                 std::string& error, rules::HttpError& http_error);

// keys.txt, keys.txt.sig, manifest.txt, manifest.txt.sig in that order, stopping at the first
// failure. Nothing fetched here is trusted until the check has validated the whole set.
bool SyncMetadata(const HttpClient& client, const std::wstring& base_url,
                  const std::wstring& staging_directory, std::string& error,
                  rules::HttpError& http_error);

}  // namespace patcher::win
