#include "win/engine/metadata_sync.h"

#include "core/text.h"
#include "core/url_join.h"
#include "win/engine/release_paths.h"
#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

bool FetchToFile(const HttpClient& client, const std::wstring& url, const std::wstring& destination,
                 std::string& error, HttpError& http_error) {
    std::string body;
    const HttpResponse response = client.GetToString(url, kMaxDocumentBytes, body);
    http_error = response.error;
    if (response.error != HttpError::Ok) {
        error = "fetch failed for " + WideToUtf8(url) + ": " + DescribeResponse(response);
        return false;
    }
    AtomicFile file;
    // The cap keeps the body far below 4 GiB, so one write takes all of it.
    if (!file.Open(destination) ||
        !file.Write(body.data(), static_cast<std::uint32_t>(body.size())) || !file.Commit()) {
        error = "cannot write " + WideToUtf8(destination);
        return false;
    }
    return true;
}

bool SyncMetadata(const HttpClient& client, const std::wstring& base_url,
                  const std::wstring& staging_directory, std::string& error,
                  HttpError& http_error) {
    http_error = HttpError::Ok;
    if (!EnsureDirectory(staging_directory)) {
        error = "cannot create " + WideToUtf8(staging_directory);
        return false;
    }
    for (const wchar_t* name :
         {L"keys.txt", L"keys.txt.sig", L"manifest.txt", L"manifest.txt.sig"}) {
        if (!FetchToFile(client, UrlJoin(base_url, name), JoinPath(staging_directory, name), error,
                         http_error)) {
            return false;
        }
    }
    return true;
}

}  // namespace patcher::win
