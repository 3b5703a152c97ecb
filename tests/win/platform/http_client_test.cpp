// The WinHTTP client's own rules. What it does on the wire, a refused connection included, is the
// end-to-end scenarios' (test_http_client.py, test_check.py) against a local HTTPS server.
#include "win/platform/winhttp_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace patcher::win {

using namespace rules;

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

TEST(TlsRulesTest, TlsFailuresAreTheCertificateAndChannelErrors) {
    for (std::uint32_t code :
         {12037u, 12038u, 12045u, 12057u, 12157u, 12169u, 12170u, 12175u, 12179u}) {
        EXPECT_TRUE(IsTlsFailureError(code)) << code;
    }
    for (std::uint32_t code : {0u, 12002u, 12029u, 12030u, 12044u, 12180u, 10060u}) {
        EXPECT_FALSE(IsTlsFailureError(code)) << code;
    }
}

TEST(TlsRulesTest, TlsFloorFallsBackToTls12AndNeverToTheDefaults) {
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

}  // namespace
}  // namespace patcher::win
