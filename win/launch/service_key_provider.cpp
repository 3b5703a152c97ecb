#include "win/launch/service_key_provider.h"

#include <windows.h>

#include <utility>

#include "rules/key_backoff.h"
#include "win/platform/secure_wipe.h"

namespace patcher::win {

using namespace rules;

namespace {

bool Refuse(KeyFetchOutcome& shared, KeyFetchKind kind, const char* message, std::string& reason) {
    shared.kind = kind;
    shared.message = message;
    reason = KeyFetchKindName(kind);
    return false;
}

}  // namespace

KeyProvider MakeServiceKeyProvider(std::shared_ptr<const KeyClient> client,
                                   std::shared_ptr<KeyFetchOutcome> outcome) {
    auto backoff = std::make_shared<BackoffState>();
    if (!outcome) outcome = std::make_shared<KeyFetchOutcome>();
    return [client = std::move(client), outcome, backoff](std::string& key, std::string& reason) {
        SecureWipe(key);
        reason.clear();
        if (!client || client->service().empty()) {
            return Refuse(*outcome, KeyFetchKind::Disabled, "no key service configured", reason);
        }
        if (BackoffWindowOpen(*backoff, GetTickCount64())) {
            return Refuse(*outcome, KeyFetchKind::RateLimited,
                          "still inside the Retry-After window the service asked for", reason);
        }
        KeyFetchOutcome fetched;
        IssuedKey issued;
        client->Fetch(fetched, issued);
        *outcome = fetched;
        backoff->not_before_ms = NextNotBefore(fetched.kind, fetched.retry_after, GetTickCount64());
        if (fetched.kind != KeyFetchKind::Ok) {
            reason = KeyFetchKindName(fetched.kind);
            return false;
        }
        key = issued.key;  // issued wipes its own copy
        return true;
    };
}

}  // namespace patcher::win
