#include "win/engine/release_paths.h"

#include <gtest/gtest.h>

#include "tests/win/test_scratch_directory.h"
#include "win/engine/release_promotion.h"

namespace patcher::win {
namespace {

using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

// Letters pass through exactly (the rules' converter table; the end-to-end check outside the ANSI
// code page); an unpaired surrogate is refused with a path support can read.
TEST(ToCorePathTest, AnUnpairedSurrogateIsRefusedWithAReadablePath) {
    std::string utf8, diagnostic;
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
