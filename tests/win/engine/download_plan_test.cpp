#include "win/engine/download_plan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "win/platform/paths.h"
#include "win/platform/text.h"

namespace patcher::win {
namespace {

TEST(DownloadPlanTest, WorkerCountDefaultsCapsAndNeverExceedsTheItems) {
    const struct {
        std::uint32_t configured;
        std::size_t items;
        std::uint32_t workers;
    } cases[] = {{0, 100, 8}, {40, 100, 16}, {8, 3, 3}, {1, 5, 1}, {16, 16, 16}, {0, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(DownloadWorkerCount(c.configured, c.items), c.workers) << c.configured;
    }
}

std::vector<DiffItem> Items(const std::vector<std::string>& paths) {
    std::vector<DiffItem> list;
    for (const std::string& path : paths) list.push_back(DiffItem{path, "", "1", "", {}});
    return list;
}

// Through the file system's fold: names that differ only in letter case are one file.
TEST(DownloadPlanTest, DuplicatePathsAreFoundWhereverTheyStandAndWhateverTheirCase) {
    const struct {
        std::vector<std::string> paths;
        std::optional<std::string> twice;
    } cases[] = {
        {{}, std::nullopt},
        {{"a", "b", "data/a", "data/b/a"}, std::nullopt},
        {{"data/x", "a", "b", "data/x"}, "data/x"},
        {{"b", "A.dat", "c", "a.dat"}, "A.dat"},
        {{"data/Sub/x.pak", "DATA/sub/X.PAK"}, "data/Sub/x.pak"},
        {{"\xC3\xA4.dat", "\xC3\x84.dat"}, "\xC3\xA4.dat"},              // ä, Ä
        {{"\xC5\x9F\xC4\x9F", "\xC5\x9E\xC4\x9E"}, "\xC5\x9F\xC4\x9F"},  // şğ, ŞĞ
        {{"\xC3\xA4.dat", "a.dat", "\xC3\xA0.dat"}, std::nullopt},       // ä, a, à
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DuplicatePath(Items(c.paths), FoldPathCase), c.twice)
            << ::testing::PrintToString(c.paths);
    }
}

// The Turkish i's are where a locale's casing and the file system's differ; the fold must agree
// with Windows' own ordinal, case-insensitive comparison of names.
TEST(DownloadPlanTest, TheFoldAgreesWithTheOrdinalComparisonOnTurkishLetters) {
    const char* const pairs[][2] = {
        {"\xC4\xB0.dat", "i.dat"},  // İ, i
        {"\xC4\xB1.dat", "I.dat"},  // ı, I
        {"\xC4\xB0.dat", "I.dat"},  // İ, I
        {"\xC4\xB1.dat", "i.dat"},  // ı, i
        {"\xC4\xB0.dat", "\xC4\xB1.dat"},
    };
    for (const auto& pair : pairs) {
        const std::wstring a = Utf8ToWide(pair[0]), b = Utf8ToWide(pair[1]);
        const bool same = ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                 static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
        EXPECT_EQ(DuplicatePath(Items({pair[0], pair[1]}), FoldPathCase).has_value(), same)
            << pair[0] << " " << pair[1];
    }
}

TEST(DownloadPlanTest, DeadlineGrowsOneSecondPer16KiB) {
    EXPECT_EQ(FileDeadlineMs(0), 61000u);
    EXPECT_EQ(FileDeadlineMs(16383), 61000u);
    EXPECT_EQ(FileDeadlineMs(16384), 62000u);
    EXPECT_EQ(FileDeadlineMs(16384ull * 3600), 3661000u);
}

TEST(DownloadPlanTest, ThePatchersOwnFilesAreReservedWhateverTheirSpelling) {
    const std::wstring exe = L"C:\\Oyun\\Velmor2Launcher.exe", log = L"C:\\Oyun\\patcher.log";
    const struct {
        const wchar_t* destination;
        const char* reason;
    } cases[] = {
        {L"c:/oyun/VELMOR2LAUNCHER.EXE", "it is the running patcher executable"},
        {L"C:\\Oyun\\Velmor2Launcher.exe.new", "it is a working name of the patcher's self-update"},
        {L"C:\\Oyun\\velmor2launcher.exe.OLD", "it is a working name of the patcher's self-update"},
        {L"C:\\Oyun\\Patcher.cfg", "it is the patcher's settings file"},
        {L"C:\\OYUN\\patcher.log", "it is the support log, which is open for writing"},
        {L"C:\\Oyun\\patcher.log.2", "it is a rotated copy of the support log"},
        {L"C:\\Oyun\\patcher.log.3", ""},
        {L"C:\\Oyun\\game\\patcher.cfg", ""},
        {L"C:\\Oyun\\Velmor2Launcher.exe.tmp", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReservedPathReason(c.destination, exe, log), c.reason);
    }
    // Without an executable path or an open log, only the other rows apply.
    EXPECT_EQ(ReservedPathReason(exe, L"", log), "");
    EXPECT_EQ(ReservedPathReason(log, exe, L""), "");
}

}  // namespace
}  // namespace patcher::win
