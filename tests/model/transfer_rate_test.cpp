#include "model/transfer_rate.h"

#include <gtest/gtest.h>

namespace patcher::model {
namespace {

constexpr std::uint64_t kMb = 1048576;

TEST(TransferRateTest, WarmsUpThenFollowsTheLastSeconds) {
    TransferRate rate;
    // 1 MB/s for ten seconds, then a stall: the window forgets the fast part within its length.
    for (std::uint64_t ms = 0; ms <= 2500; ms += 500) rate.Add(ms, ms * kMb / 1000);
    EXPECT_FALSE(rate.BytesPerSecond());
    EXPECT_EQ(TransferRateLine(rate, kMb), L"");
    for (std::uint64_t ms = 3000; ms <= 10000; ms += 500) rate.Add(ms, ms * kMb / 1000);
    EXPECT_EQ(rate.BytesPerSecond(), kMb);
    for (std::uint64_t ms = 10500; ms <= 15000; ms += 500) rate.Add(ms, 10 * kMb);
    EXPECT_EQ(rate.BytesPerSecond(), 0u);
    EXPECT_EQ(TransferRateLine(rate, kMb), L"0 B/s");  // no time left at a standstill

    // A new download counts from zero again: the old history is dropped, not read as negative.
    rate.Add(16000, 100);
    EXPECT_FALSE(rate.BytesPerSecond());
    rate.Reset();
    EXPECT_FALSE(rate.BytesPerSecond());
}

TEST(TransferRateTest, LineAndTimeLeftForms) {
    struct Case {
        std::uint64_t to_fetch, per_second;
        std::wstring line;
    } cases[] = {
        {180 * 4404020ull, 4404020, L"4,2 MB/s · yaklaşık 3 dk kaldı"},
        {181 * 4404020ull, 4404020, L"4,2 MB/s · yaklaşık 4 dk kaldı"},  // minutes round up
        {0, 2048, L"2,0 KB/s · yaklaşık 5 sn kaldı"},
        {21 * 1024, 1024, L"1,0 KB/s · yaklaşık 25 sn kaldı"},
        {55 * 1024, 1024, L"1,0 KB/s · yaklaşık 55 sn kaldı"},
        {56 * 1024, 1024, L"1,0 KB/s · yaklaşık 1 dk kaldı"},
        {3600 * kMb, kMb, L"1,0 MB/s · yaklaşık 1 sa kaldı"},
        {4801 * kMb, kMb, L"1,0 MB/s · yaklaşık 1 sa 21 dk kaldı"},
        {86400 * kMb, kMb, L"1,0 MB/s · 1 günden fazla kaldı"},
        {kMb, 1023, L"1023 B/s"},  // too slow to say when
    };
    for (const Case& c : cases) {
        TransferRate rate;
        rate.Add(0, 0);
        rate.Add(4000, 4 * c.per_second);
        EXPECT_EQ(TransferRateLine(rate, c.to_fetch), c.line) << c.to_fetch;
    }
}

}  // namespace
}  // namespace patcher::model
