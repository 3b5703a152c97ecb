// The "key-fetch" probe: one request to the configured key service, so support staff can see what
// the client makes of it on the player's machine. The key itself is never printed.
#include "app/console_report.h"
#include "app/self_test.h"
#include "win/launch/key_client.h"
#include "win/launch/launch_game.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

int RunKeyFetchSelfTest(const Arguments& arguments) {
    const KeyClient client(arguments.config.key_service, kKeyClientVersion);
    KeyFetchOutcome outcome;
    IssuedKey issued;
    client.Fetch(outcome, issued);
    const char* name = KeyFetchKindName(outcome.kind);
    PrintField(L"SERVICE", arguments.config.key_service);
    PrintField(L"FETCH", Utf8ToWide(name));
    PrintField(L"FETCH_STATUS", FormatDecimal(outcome.status));
    PrintField(L"RETRY_AFTER", FormatDecimal(outcome.retry_after));
    PrintField(L"FETCH_DIAGNOSTIC", Utf8ToWide(outcome.message));
    PrintField(L"KEY_LENGTH", FormatDecimal(issued.key.size()));
    LogLine(std::string("self-test key-fetch: ") + name + ": " + outcome.message);
    return outcome.kind == KeyFetchKind::Ok ? 0 : 1;
}

}  // namespace patcher::app
