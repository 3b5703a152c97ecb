#include "rules/http_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace patcher::rules {
namespace {

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

TEST(HttpRulesTest, PhaseTimeoutsShrinkToTheDeadline) {
    EXPECT_EQ(PhaseTimeout(60000, 5000), 5000u);
    EXPECT_EQ(PhaseTimeout(15000, 60000), 15000u);
    EXPECT_EQ(PhaseTimeout(60000, 0x7FFFFFFF), 60000u);
    EXPECT_EQ(PhaseTimeout(60000, 0x80000000ull), 60000u);
    EXPECT_EQ(PhaseTimeout(60000, UINT64_MAX), 60000u);
    // 0 would mean "wait forever" to WinHTTP.
    EXPECT_EQ(PhaseTimeout(60000, 0), 1u);
}

}  // namespace
}  // namespace patcher::rules
