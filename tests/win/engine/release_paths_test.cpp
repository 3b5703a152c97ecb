#include "win/engine/release_paths.h"

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"
#include "win/engine/release_promotion.h"

namespace patcher::win {
namespace {

using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

TEST(UrlJoinTest, TrailingSlashesNeverDoubleUp) {
    EXPECT_EQ(UrlJoin(L"https://h/live", L"keys.txt"), L"https://h/live/keys.txt");
    EXPECT_EQ(UrlJoin(L"https://h/live/", L"keys.txt"), L"https://h/live/keys.txt");
    EXPECT_EQ(UrlJoin(L"https://h/live//", L"keys.txt"), L"https://h/live/keys.txt");
    EXPECT_EQ(UrlJoin(L"", L"keys.txt"), L"/keys.txt");
}

TEST(ToAnsiPathTest, RefusesWhatTheCodePageCannotHold) {
    std::string narrow, diagnostic;
    EXPECT_TRUE(ToAnsiPath(L"", narrow, diagnostic));
    EXPECT_EQ(narrow, "");
    EXPECT_TRUE(ToAnsiPath(L"C:\\Games\\data", narrow, diagnostic));
    EXPECT_EQ(narrow, "C:\\Games\\data");
    EXPECT_EQ(diagnostic, "");
    EXPECT_FALSE(ToAnsiPath(L"C:\\\u4E2D\u0416", narrow, diagnostic));
    EXPECT_EQ(diagnostic,
              "install or data path cannot be represented in the system ANSI code page: "
              "C:\\\xE4\xB8\xAD\xD0\x96");
}

void WriteSet(const std::wstring& directory, const std::string& tag) {
    const ReleasePaths paths = ReleasePathsOf(directory);
    ASSERT_TRUE(WriteWholeFile(paths.keys, "keys " + tag));
    ASSERT_TRUE(WriteWholeFile(paths.keys_sig, "ksig " + tag));
    ASSERT_TRUE(WriteWholeFile(paths.manifest, "manifest " + tag));
    ASSERT_TRUE(WriteWholeFile(paths.manifest_sig, "msig " + tag));
}

TEST(PromoteReleaseTest, MovesTheSetAndWritesTheMarkerLast) {
    ScratchDirectory scratch(L"promote");
    const std::wstring pending = scratch.Join(L"pending"), current = scratch.Join(L"current");
    ASSERT_TRUE(CreateDirectoryW(pending.c_str(), nullptr));
    WriteSet(pending, "new");
    EXPECT_FALSE(IsReleaseComplete(current));

    ASSERT_TRUE(PromoteRelease(pending, current));
    EXPECT_TRUE(IsReleaseComplete(current));
    EXPECT_EQ(ReadWholeFile(ReleasePathsOf(current).complete), "ok\n");
    EXPECT_EQ(ReadWholeFile(ReleasePathsOf(current).manifest), "manifest new");
    EXPECT_FALSE(testing::FileExists(ReleasePathsOf(pending).keys));
}

TEST(PromoteReleaseTest, AnInterruptedPromotionLeavesAnIncompleteSet) {
    ScratchDirectory scratch(L"promote-cut");
    const std::wstring pending = scratch.Join(L"pending"), current = scratch.Join(L"current");
    ASSERT_TRUE(CreateDirectoryW(pending.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(current.c_str(), nullptr));
    WriteSet(current, "old");
    ASSERT_TRUE(WriteWholeFile(ReleasePathsOf(current).complete, "ok\n"));
    ASSERT_TRUE(IsReleaseComplete(current));

    // Staging lacks its manifest signature: the moves stop there, after the marker was removed.
    WriteSet(pending, "new");
    ASSERT_TRUE(DeleteFileW(ReleasePathsOf(pending).manifest_sig.c_str()));
    EXPECT_FALSE(PromoteRelease(pending, current));
    EXPECT_FALSE(IsReleaseComplete(current));
    EXPECT_EQ(ReadWholeFile(ReleasePathsOf(current).keys), "keys new");
}

}  // namespace
}  // namespace patcher::win
