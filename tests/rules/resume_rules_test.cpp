#include "rules/resume_rules.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(ResumeRulesTest, OnlyA206ThatCoversExactlyTheRestIsAppended) {
    constexpr auto kAppend = RangeAnswer::Append, kRestart = RangeAnswer::Restart,
                   kRefuse = RangeAnswer::Refuse;
    const struct {
        std::uint32_t status;
        const wchar_t* content_range;
        std::uint64_t offset;
        RangeAnswer answer;
    } cases[] = {
        {206, L"bytes 40-99/100", 40, kAppend},
        {206, L"bytes 40-99/*", 40, kAppend},
        {200, L"", 40, kRestart},
        {200, L"", 0, kRestart},
        {206, L"bytes 0-99/100", 40, kRefuse},    // the whole file again
        {206, L"bytes 41-99/100", 40, kRefuse},   // a gap
        {206, L"bytes 40-98/100", 40, kRefuse},   // stops short
        {206, L"bytes 40-99/101", 40, kRefuse},   // another file's length
        {206, L"bytes 40-100/100", 40, kRefuse},  // past the end
        {206, L"bytes 40-99/100", 0, kRefuse},    // nothing was asked for
        {206, L"bytes 40-99", 40, kRefuse},
        {206, L"bytes=40-99/100", 40, kRefuse},
        {206, L"bytes 40-99/100 ", 40, kRefuse},
        {206, L"bytes -40-99/100", 40, kRefuse},
        {206, L"bytes 40-99/99999999999999999999", 40, kRefuse},
        {206, L"bytes */100", 40, kRefuse},
        {206, L"", 40, kRefuse},
        {416, L"bytes */100", 40, kRefuse},
        {204, L"", 40, kRefuse},
    };
    for (const auto& c : cases) {
        const HttpBodyStart start{c.status, 0, c.content_range};
        EXPECT_EQ(ClassifyBodyStart(start, c.offset, 100), c.answer)
            << c.status << " " << testing::PrintToString(std::wstring(c.content_range)) << " @"
            << c.offset;
    }
}

TEST(ResumeRulesTest, TheConnectionTheClockAndTheServersOwnFailuresAreRetried) {
    const struct {
        HttpError error;
        std::uint32_t status;
        bool retry;
    } cases[] = {
        {HttpError::NoConnection, 0, true},      {HttpError::Timeout, 200, true},
        {HttpError::Truncated, 206, true},       {HttpError::HttpStatus, 500, true},
        {HttpError::HttpStatus, 503, true},      {HttpError::HttpStatus, 599, true},
        {HttpError::HttpStatus, 404, false},     {HttpError::HttpStatus, 416, false},
        {HttpError::HttpStatus, 600, false},     {HttpError::TlsFailure, 0, false},
        {HttpError::TooLarge, 200, false},       {HttpError::SinkFailure, 200, false},
        {HttpError::HeadRefused, 206, false},    {HttpError::BadUrl, 0, false},
        {HttpError::RedirectDenied, 302, false}, {HttpError::ProxyAuthRequired, 407, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsRetryable(c.error, c.status), c.retry) << HttpErrorName(c.error) << c.status;
    }
}

TEST(ResumeRulesTest, APartialNameCarriesTheHashAndNoGameFileCanTakeIt) {
    const std::string sha = "3fa2b1c4d5e6f708" + std::string(48, '0');
    const std::wstring partial = PartialPathOf(L"C:\\G2\\maps\\big.pak", sha);
    EXPECT_EQ(partial, L"C:\\G2\\maps\\big.pak~3fa2b1c4d5e6.g2part");
    EXPECT_TRUE(IsPartialFileName(L"big.pak~3fa2b1c4d5e6.g2part"));
    for (const wchar_t* name : {L"big.pak.3fa2b1c4d5e6.g2part", L"big.pak~3fa2b1c4d5e.g2part",
                                L"big.pak~3FA2B1C4D5E6.g2part", L"~3fa2b1c4d5e6.g2part",
                                L"big.pak~3fa2b1c4d5e6.g2par", L"big.pak~3fa2b1c4d5eg.g2part"}) {
        EXPECT_FALSE(IsPartialFileName(name)) << testing::PrintToString(std::wstring(name));
    }
    EXPECT_EQ(RangeHeader(0), L"");
    EXPECT_EQ(RangeHeader(40960), L"Range: bytes=40960-");
}

}  // namespace
}  // namespace patcher::rules
