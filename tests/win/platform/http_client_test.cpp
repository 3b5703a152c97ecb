#include "win/platform/http_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "win/platform/http_rules.h"

namespace patcher::win {
namespace {

HttpsTarget Parsed(const std::wstring& url) {
    HttpsTarget target;
    EXPECT_TRUE(ParseHttpsUrl(url, target)) << std::string(url.begin(), url.end());
    return target;
}

TEST(HttpRulesTest, ParsesOnlyHttpsUrlsWithAHost) {
    HttpsTarget target = Parsed(L"https://example.test/live/keys.txt?v=1#top");
    EXPECT_EQ(target.host, L"example.test");
    EXPECT_EQ(target.port, 443);
    EXPECT_EQ(target.path, L"/live/keys.txt?v=1#top");
    target = Parsed(L"https://127.0.0.1:8443");
    EXPECT_EQ(target.port, 8443);
    EXPECT_EQ(target.path, L"/");

    HttpsTarget untouched;
    EXPECT_FALSE(ParseHttpsUrl(L"http://example.test/x", untouched));
    EXPECT_FALSE(ParseHttpsUrl(L"https:///x", untouched));
    EXPECT_FALSE(ParseHttpsUrl(L"ftp://example.test/x", untouched));
    EXPECT_FALSE(ParseHttpsUrl(L"/live/keys.txt", untouched));
    EXPECT_FALSE(ParseHttpsUrl(L"", untouched));

    const std::wstring prefix = L"https://example.test/";
    const std::wstring longest = prefix + std::wstring(kMaxUrlLength - prefix.size(), L'a');
    EXPECT_TRUE(ParseHttpsUrl(longest, untouched));
    EXPECT_FALSE(ParseHttpsUrl(longest + L"a", untouched));
}

TEST(HttpRulesTest, RedirectsStayWithinTheFirstOrigin) {
    const HttpsTarget initial = Parsed(L"https://Release.Example:8443/live/a");
    const HttpsTarget current = initial;

    auto next = RedirectTarget(L"https://release.example:8443/mirror/b?x", initial, current);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->host, L"release.example");
    EXPECT_EQ(next->path, L"/mirror/b?x");
    next = RedirectTarget(L"/other/c", initial, current);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->host, L"Release.Example");
    EXPECT_EQ(next->port, 8443);
    EXPECT_EQ(next->path, L"/other/c");

    EXPECT_FALSE(RedirectTarget(L"https://elsewhere.example:8443/x", initial, current));
    EXPECT_FALSE(RedirectTarget(L"https://release.example/x", initial, current));  // port 443
    EXPECT_FALSE(RedirectTarget(L"http://release.example:8443/x", initial, current));
    EXPECT_FALSE(RedirectTarget(L"other/c", initial, current));
    EXPECT_FALSE(RedirectTarget(L"", initial, current));
}

TEST(HttpRulesTest, HostNamesFoldOnlyAsciiLetters) {
    EXPECT_TRUE(SameHostName(L"LocalHost", L"localhost"));
    EXPECT_FALSE(SameHostName(L"localhost", L"localhost."));
    // Outside A-Z nothing is folded: a dotted capital I is not an i.
    EXPECT_FALSE(SameHostName(L"\u0130nfo", L"info"));
    EXPECT_FALSE(SameHostName(L"a[", L"A{"));
}

TEST(HttpRulesTest, RetryAfterReadsLeadingDigitsOnly) {
    EXPECT_EQ(ParseRetryAfter(L"7"), 7u);
    EXPECT_EQ(ParseRetryAfter(L"120 seconds"), 120u);
    EXPECT_EQ(ParseRetryAfter(L"Wed, 21 Oct 2015 07:28:00 GMT"), 0u);
    EXPECT_EQ(ParseRetryAfter(L""), 0u);
    EXPECT_EQ(ParseRetryAfter(L"-5"), 0u);
    EXPECT_EQ(ParseRetryAfter(L"99999"), 99999u);
    EXPECT_EQ(ParseRetryAfter(L"100001"), kMaxRetryAfterSeconds);
    EXPECT_EQ(ParseRetryAfter(L"99999999999999999999999"), kMaxRetryAfterSeconds);
}

TEST(HttpRulesTest, ContentLengthIsDigitsAndSaturates) {
    EXPECT_EQ(ParseContentLength(L"0"), std::uint64_t{0});
    EXPECT_EQ(ParseContentLength(L"1048577"), std::uint64_t{1048577});
    // Beyond 32 bits stays exact, so a 5 GB announcement is not mistaken for a small one.
    EXPECT_EQ(ParseContentLength(L"5000000000"), std::uint64_t{5000000000});
    EXPECT_EQ(ParseContentLength(L"99999999999999999999999"), UINT64_MAX);
    EXPECT_FALSE(ParseContentLength(L""));
    EXPECT_FALSE(ParseContentLength(L"12a"));
    EXPECT_FALSE(ParseContentLength(L"-1"));
}

TEST(HttpRulesTest, TlsFailuresAreTheCertificateAndChannelErrors) {
    for (std::uint32_t code :
         {12037u, 12038u, 12045u, 12057u, 12157u, 12169u, 12170u, 12175u, 12179u}) {
        EXPECT_TRUE(IsTlsFailureError(code)) << code;
    }
    for (std::uint32_t code : {0u, 12002u, 12029u, 12030u, 12044u, 12180u, 10060u}) {
        EXPECT_FALSE(IsTlsFailureError(code)) << code;
    }
}

TEST(HttpRulesTest, PhaseTimeoutsShrinkToTheDeadline) {
    EXPECT_EQ(PhaseTimeout(60000, 5000), 5000u);
    EXPECT_EQ(PhaseTimeout(15000, 60000), 15000u);
    EXPECT_EQ(PhaseTimeout(60000, 0x7FFFFFFF), 60000u);
    EXPECT_EQ(PhaseTimeout(60000, 0x80000000ull), 60000u);
    EXPECT_EQ(PhaseTimeout(60000, UINT64_MAX), 60000u);
    // 0 would mean "wait forever" to WinHTTP.
    EXPECT_EQ(PhaseTimeout(60000, 0), 1u);
}

TEST(HttpRulesTest, TlsFloorFallsBackToTls12AndNeverToTheDefaults) {
    struct Case {
        std::vector<std::uint32_t> accepted;
        std::optional<std::uint32_t> floor;
        std::vector<std::uint32_t> asked;
    } cases[] = {
        {{0x2800, 0x800}, 0x2800, {0x2800}},
        {{0x800}, 0x800, {0x2800, 0x800}},  // a Windows that does not know the TLS 1.3 bit
        {{}, std::nullopt, {0x2800, 0x800}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> asked;
        const std::optional<TlsFloor> floor = ChooseTlsFloor([&](std::uint32_t protocols) {
            asked.push_back(protocols);
            return std::find(c.accepted.begin(), c.accepted.end(), protocols) != c.accepted.end();
        });
        EXPECT_EQ(floor ? std::optional(floor->protocols) : std::nullopt, c.floor);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(HttpClientTest, RefusesBadUrlsWithoutTouchingTheNetwork) {
    const HttpClient client;
    ASSERT_TRUE(client.has_session());
    std::string out = "stale";
    HttpResponse response = client.GetToString(L"http://127.0.0.1:1/x", 100, out);
    EXPECT_EQ(response.error, HttpError::BadUrl);
    EXPECT_EQ(response.status, 0u);
    EXPECT_EQ(response.os_error, 0u);
    EXPECT_EQ(out, "");
    response = client.PostToString(L"https://", "{}", L"application/json", 100, 1000, out);
    EXPECT_EQ(response.error, HttpError::BadUrl);
}

TEST(HttpClientTest, RefusedConnectionIsNoConnectionWithTheOsError) {
    const HttpClient client;
    // Port 1 on loopback has no listener: the connection is refused at once.
    bool sink_called = false;
    const HttpResponse response = client.Request(
        L"https://127.0.0.1:1/x", L"GET", std::string(), std::wstring(),
        [&](const char*, std::uint32_t) { return sink_called = true; }, HttpProgress(), 100, 20000);
    EXPECT_EQ(response.error, HttpError::NoConnection);
    EXPECT_NE(response.os_error, 0u);
    EXPECT_EQ(response.status, 0u);
    EXPECT_FALSE(sink_called);
}

}  // namespace
}  // namespace patcher::win
