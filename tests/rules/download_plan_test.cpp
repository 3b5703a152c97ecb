#include "rules/download_plan.h"

#include <gtest/gtest.h>

namespace patcher::rules {
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

TEST(DownloadPlanTest, DuplicatePathsAreFoundWhereverTheyStandAndWhateverTheirCase) {
    const auto items = [](std::initializer_list<const char*> paths) {
        std::vector<DiffItem> list;
        for (const char* path : paths) list.push_back(DiffItem{path, "", 1, "", {}, {}, 0});
        return list;
    };
    EXPECT_EQ(DuplicatePath(items({})), std::nullopt);
    EXPECT_EQ(DuplicatePath(items({"a", "b", "data/a", "data/b/a"})), std::nullopt);
    EXPECT_EQ(DuplicatePath(items({"data/x", "a", "b", "data/x"})), "data/x");
    EXPECT_EQ(DuplicatePath(items({"b", "A.dat", "c", "a.dat"})), "A.dat");
    EXPECT_EQ(DuplicatePath(items({"data/Sub/x.pak", "DATA/sub/X.PAK"})), "data/Sub/x.pak");
}

TEST(DownloadPlanTest, ADeltaIsPlannedOnlyFromTheCopyOnDiskAndWhenItIsSmaller) {
    const std::string a(64, 'a'), b(64, 'b'), c(64, 'c');
    const std::vector<DeltaListing> listed = {{a, b, 300}, {a, c, 1000}, {c, b, 0}};
    const struct {
        const char* what;
        std::string sha256, old_sha256;
        std::uint64_t planned;
    } cases[] = {
        {"listed from the copy on disk", a, b, 300},
        {"not smaller than the file", a, c, 0},
        {"an empty delta", c, b, 0},
        {"the copy on disk is unknown", a, "", 0},
        {"no delta from the copy on disk", b, a, 0},
    };
    std::vector<DiffItem> items;
    for (const auto& c : cases)
        items.push_back(DiffItem{"f", "", 1000, c.sha256, {}, c.old_sha256, 7});
    PlanDeltas(items, listed);
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].delta_bytes, cases[i].planned) << cases[i].what;
    }
    EXPECT_EQ(FetchBytes(items), 300u + 4 * 1000u);
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
    // Only a last part that is, or may be spelled as, one of those names is asked about at all.
    const struct {
        const wchar_t* name;
        bool may;
    } names[] = {
        {L"VELMOR2LAUNCHER.EXE", true}, {L"VELMOR2LAUNCHER.EXE.OLD", true},
        {L"PATCHER.CFG", true},         {L"PATCHER.LOG.1", true},
        {L"VELMOR~1.EXE", true},        {L"PATCHER.CFG.", true},
        {L"PATCHER.LOG ", true},        {L"DATA.PAK:STREAM", true},
        {L"DATA.PAK", false},           {L"VELMOR2LAUNCHER.EXE.TMP", false},
        {L"PATCHER.LOG.3", false},      {L"VELMOR2.EXE", false},
    };
    for (const auto& n : names) {
        EXPECT_EQ(MayBeReservedName(n.name, L"VELMOR2LAUNCHER.EXE", L"PATCHER.LOG"), n.may)
            << static_cast<int>(n.may);
    }
    // Without an executable path or an open log, only the other rows apply.
    EXPECT_EQ(ReservedPathReason(exe, L"", log), "");
    EXPECT_EQ(ReservedPathReason(log, exe, L""), "");
}

}  // namespace
}  // namespace patcher::rules
