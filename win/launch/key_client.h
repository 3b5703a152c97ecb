// The key service client: one small JSON POST per key, its answer interpreted into a
// KeyFetchOutcome. The pieces that need no network (request body and address, the reading of an
// answer) are plain functions so that they can be checked on their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rules/key_fetch_outcome.h"
#include "win/platform/http_client.h"

namespace patcher::win {

inline constexpr std::uint32_t kKeyAnswerCapBytes = 4096;
inline constexpr std::uint64_t kKeyRequestDeadlineMs = 5000;
inline constexpr std::size_t kMaxKeyLength = 512;
inline constexpr std::size_t kMaxKeyExpiryLength = 64;
inline constexpr std::size_t kMaxPatcherVersionLength = 16;

// A key the service issued. It wipes the key when it goes away.
struct IssuedKey {
    std::string key;
    std::string expiry;  // the service's expires_at text, passed on unparsed

    IssuedKey() = default;
    IssuedKey(const IssuedKey&) = delete;
    IssuedKey& operator=(const IssuedKey&) = delete;
    ~IssuedKey();
};

// The service address without its trailing slashes, followed by "/key".
std::wstring KeyServiceUrl(const std::wstring& service);

// {"patcher_ver":"VERSION"} with no white space; '"' and '\' escaped, control characters left out.
std::string KeyRequestBody(std::string_view version);

// 1 to 512 printable ASCII characters, none of them '"' or '\'.
bool IsUsableKey(std::string_view key);

// The outcome the transport and status alone decide; kind Ok means the body is to be read.
rules::KeyFetchOutcome ClassifyKeyAnswer(const rules::HttpResponse& response);

// Reads the key out of a 200 answer into `issued` and makes the outcome OK or BAD_RESPONSE. The
// body is wiped.
void ReadIssuedKey(std::string& body, rules::KeyFetchOutcome& outcome, IssuedKey& issued);

class KeyClient {
  public:
    KeyClient(std::wstring service, std::string_view version);

    const std::wstring& service() const { return service_; }

    // One request. The outcome always ends with a kind and a message.
    void Fetch(rules::KeyFetchOutcome& outcome, IssuedKey& issued) const;

  private:
    std::wstring service_;
    std::string version_;
};

}  // namespace patcher::win
