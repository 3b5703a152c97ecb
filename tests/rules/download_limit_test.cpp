#include "rules/download_limit.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(DownloadLimitTest, ParsingRefusesAnythingButTheRowsValues) {
    struct Case {
        std::wstring value;
        std::uint64_t bytes_per_second;
        bool refused;
    } cases[] = {
        {L"none", 0, false},  {L"1", 1048576, false}, {L"20", 20971520, false},
        {L"3", 0, true},      {L"0", 0, true},        {L"05", 0, true},
        {L"5 MB/s", 0, true}, {L"-1", 0, true},       {L"None", 0, true},
    };
    for (const Case& c : cases) {
        const DownloadLimitSetting s = ParseDownloadLimit(c.value);
        EXPECT_EQ(s.bytes_per_second, c.bytes_per_second) << c.value;
        EXPECT_EQ(!s.refusal.empty(), c.refused) << c.value;
    }
    EXPECT_EQ(DownloadLimitLogLine(ParseDownloadLimit(L"fast"), L"fast", L"C:\\V\\patcher.cfg"),
              L"settings: download-limit-mb refused (not one of none, 1, 2, 5, 10, 20 (MB/s)), "
              L"downloading without a limit: fast");
    EXPECT_EQ(DownloadLimitLogLine(ParseDownloadLimit(L"5"), L"5", L"C:\\V\\patcher.cfg"),
              L"settings: download-limit-mb = 5  (from C:\\V\\patcher.cfg)");
}

TEST(DownloadLimitTest, WritingKeepsTheOtherLines) {
    constexpr std::uint64_t k5 = 5 * kBytesPerMb;
    struct Case {
        std::string before;
        std::uint64_t limit;
        std::string after;
    } cases[] = {
        {"", k5, "download-limit-mb 5\n"},
        {"game-exe G.exe", 0, "game-exe G.exe\ndownload-limit-mb none\n"},
        {"game-exe G.exe\r\n", k5, "game-exe G.exe\r\ndownload-limit-mb 5\r\n"},
        // After a byte-order mark, written in octal so that the letter after it is no digit of it.
        {"\357\273\277download-limit-mb 1\r\ngame-exe G.exe\r\n", k5,
         "\357\273\277download-limit-mb 5\r\ngame-exe G.exe\r\n"},
        // Only the line the reader takes is replaced; a bare key is no such line.
        {"download-limit-mb\ndownload-limit-mb  x \ndownload-limit-mb 2\n", 0,
         "download-limit-mb\ndownload-limit-mb none\ndownload-limit-mb 2\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithDownloadLimitLine(c.before, c.limit), c.after);
}

TEST(DownloadLimitTest, RowChoicesAndTheCommandLine) {
    for (std::size_t i = 0; i < kDownloadLimitChoicesMb.size(); ++i) {
        EXPECT_EQ(DownloadLimitChoice(DownloadLimitOfChoice(i)), i);
    }
    EXPECT_EQ(DownloadLimitChoice(3 * kBytesPerMb), 2u);  // a --max-rate between two choices
    EXPECT_EQ(DownloadLimitChoice(1000), 1u);

    EXPECT_EQ(ParseMaxRateOption(L"1500000"), 1500000u);
    EXPECT_EQ(ParseMaxRateOption(L"0"), 0u);
    for (const wchar_t* bad : {L"", L"1e6", L"-5", L"5MB", L"99999999999999999999"}) {
        EXPECT_FALSE(ParseMaxRateOption(bad)) << bad;
    }
    const DownloadLimitSetting file = ParseDownloadLimit(L"2");
    EXPECT_EQ(EffectiveDownloadLimit(std::nullopt, file), 2 * kBytesPerMb);
    EXPECT_EQ(EffectiveDownloadLimit(0, file), 0u);  // the command line lifts the file's limit
}

}  // namespace
}  // namespace patcher::rules
