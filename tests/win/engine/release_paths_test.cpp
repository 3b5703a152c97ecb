#include "win/engine/release_paths.h"

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"
#include "win/engine/release_promotion.h"

namespace patcher::win {
namespace {

using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

TEST(ToCorePathTest, EveryLetterPassesExactlyAndOnlyUnpairedSurrogatesAreRefused) {
    std::string utf8 = "stale", diagnostic;
    EXPECT_TRUE(ToCorePath(L"", utf8, diagnostic));
    EXPECT_EQ(utf8, "");
    // Turkish letters outside the Western code page, Cyrillic, CJK and a letter beyond the BMP.
    const std::wstring wide =
        L"C:\\Oyunlar\\\u015E\u0131\u011F\u0130\\\u0414\u0430\\\u6E38\U0001F3AE";
    ASSERT_TRUE(ToCorePath(wide, utf8, diagnostic));
    EXPECT_EQ(utf8,
              "C:"
              "\\Oyunlar\\\xC5\x9E\xC4\xB1\xC4\x9F\xC4\xB0\\\xD0\x94\xD0\xB0\\\xE6\xB8\xB8\xF0\x9F"
              "\x8E\xAE");
    EXPECT_EQ(diagnostic, "");
    EXPECT_FALSE(ToCorePath(std::wstring(L"C:\\a") + wchar_t(0xD800) + L"b", utf8, diagnostic));
    EXPECT_EQ(diagnostic,
              "install or data path is not valid Unicode (unpaired surrogate): C:\\a\xEF\xBF\xBD"
              "b");
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

    // Staging lacks its manifest signature: the moves stop there, after the marker was removed,
    // so an interrupted promotion leaves an incomplete set.
    WriteSet(pending, "newer");
    ASSERT_TRUE(DeleteFileW(ReleasePathsOf(pending).manifest_sig.c_str()));
    EXPECT_FALSE(PromoteRelease(pending, current));
    EXPECT_FALSE(IsReleaseComplete(current));
    EXPECT_EQ(ReadWholeFile(ReleasePathsOf(current).keys), "keys newer");
}

}  // namespace
}  // namespace patcher::win
