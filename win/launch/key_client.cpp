#include "win/launch/key_client.h"

#include <utility>

#include "core/text.h"
#include "rules/json_string.h"
#include "win/platform/secure_wipe.h"

namespace patcher::win {

using namespace rules;

IssuedKey::~IssuedKey() {
    SecureWipe(key);
}

std::wstring KeyServiceUrl(const std::wstring& service) {
    const std::size_t end = service.find_last_not_of(L'/');
    return service.substr(0, end == std::wstring::npos ? 0 : end + 1) + L"/key";
}

std::string KeyRequestBody(std::string_view version) {
    std::string body = "{\"patcher_ver\":\"";
    for (const char c : version) {
        if (static_cast<unsigned char>(c) < 0x20) continue;
        if (c == '"' || c == '\\') body += '\\';
        body += c;
    }
    return body + "\"}";
}

bool IsUsableKey(std::string_view key) {
    if (key.empty() || key.size() > kMaxKeyLength) return false;
    for (const char c : key) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    }
    return true;
}

KeyFetchOutcome ClassifyKeyAnswer(const HttpResponse& response) {
    KeyFetchOutcome outcome;
    outcome.status = response.status;
    outcome.retry_after = response.retry_after;
    switch (response.error) {
        case HttpError::Ok:
            outcome.kind = KeyFetchKind::Ok;
            break;
        case HttpError::BadUrl:
            outcome.kind = KeyFetchKind::BadUrl;
            outcome.message = "the key service address is not a usable https URL";
            break;
        case HttpError::HttpStatus:
            if (response.status == 429) {
                outcome.kind = KeyFetchKind::RateLimited;
                outcome.message = "the key service is rate limiting us (429), retry after " +
                                  std::to_string(response.retry_after) + "s";
            } else if (response.status == 503) {
                outcome.kind = KeyFetchKind::Unavailable;
                outcome.message = "the key service is unavailable (503)";
            } else {
                outcome.kind = KeyFetchKind::Refused;
                outcome.message = "the key service answered " + std::to_string(response.status);
            }
            break;
        default:
            outcome.kind = KeyFetchKind::Unreachable;
            outcome.message = std::string("the key service could not be reached (") +
                              HttpErrorName(response.error) + ", os error " +
                              std::to_string(response.os_error) + ")";
            break;
    }
    return outcome;
}

void ReadIssuedKey(std::string& body, KeyFetchOutcome& outcome, IssuedKey& issued) {
    std::string key;
    std::string expiry;
    const bool found = ExtractJsonString(body, "key", kMaxKeyLength, key);
    ExtractJsonString(body, "expires_at", kMaxKeyExpiryLength, expiry);
    SecureWipe(body);
    if (found && IsUsableKey(key)) {
        issued.key = key;
        issued.expiry = expiry;
        outcome.kind = KeyFetchKind::Ok;
        outcome.message = "key issued, expires " + PrintableCopy(expiry);
    } else {
        outcome.kind = KeyFetchKind::BadResponse;
        outcome.message = "the key service answered 200 without a usable \"key\" field";
    }
    SecureWipe(key);
}

KeyClient::KeyClient(std::wstring service, std::string_view version)
    : service_(std::move(service)), version_(version.substr(0, kMaxPatcherVersionLength)) {}

void KeyClient::Fetch(KeyFetchOutcome& outcome, IssuedKey& issued) const {
    outcome = KeyFetchOutcome{};
    SecureWipe(issued.key);
    issued.expiry.clear();
    if (service_.empty()) {
        outcome.message = "no key service configured";
        return;
    }
    const HttpClient http;
    if (!http.has_session()) {
        outcome.kind = KeyFetchKind::Unreachable;
        outcome.message = "cannot open a WinHTTP session";
        return;
    }
    // The sink never receives more than the cap, so one reservation holds the whole answer and no
    // reallocation leaves a copy of the key behind.
    std::string body;
    body.reserve(kKeyAnswerCapBytes);
    const HttpResponse response =
        http.PostToString(KeyServiceUrl(service_), KeyRequestBody(version_), L"application/json",
                          kKeyAnswerCapBytes, kKeyRequestDeadlineMs, body);
    outcome = ClassifyKeyAnswer(response);
    if (outcome.kind == KeyFetchKind::Ok) ReadIssuedKey(body, outcome, issued);
    SecureWipe(body);
}

}  // namespace patcher::win
