// The "http" probe: one GET of the URL given on the command line through the patcher's own HTTPS
// client, so support staff can see what the client makes of a server (TLS trust, redirects, status)
// on the player's machine.
#include "app/console_report.h"
#include "app/self_test.h"
#include "win/platform/http_client.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

constexpr std::uint32_t kProbeCapBytes = 1048576;

}  // namespace

int RunHttpSelfTest(const Arguments& arguments) {
    const std::wstring& url = arguments.self_test_argument;
    if (url.empty()) {
        PrintField(L"HTTP", L"NO_URL");
        return 1;
    }
    PrintField(L"URL", url);
    const HttpClient client;
    if (!client.has_session()) {
        PrintField(L"HTTP", L"NO_SESSION");
        return 1;
    }
    std::string body;
    const HttpResponse response = client.GetToString(url, kProbeCapBytes, body);
    const std::string name = HttpErrorName(response.error);
    PrintField(L"RESULT", Utf8ToWide(name));
    PrintField(L"STATUS", FormatDecimal(response.status));
    PrintField(L"OS_ERROR", FormatDecimal(response.os_error));
    PrintField(L"BYTES", FormatDecimal(response.bytes_received));
    LogLine("self-test http: " + DescribeResponse(response) + ", " +
            std::to_string(response.bytes_received) + " bytes");
    return response.error == HttpError::Ok ? 0 : 1;
}

}  // namespace patcher::app
