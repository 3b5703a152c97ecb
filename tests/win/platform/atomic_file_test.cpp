#include "win/platform/atomic_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/win/test_reparse_points.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/paths.h"

namespace patcher::win {
namespace {

using testing::FileExists;
using testing::MakeDirectorySymlink;
using testing::MakeJunction;
using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

bool WriteAndCommit(const std::wstring& target, const std::string& bytes) {
    AtomicFile file;
    return file.Open(target) &&
           file.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) && file.Commit();
}

TEST(AtomicFileTest, CommitReplacesContentExactlyAndLeavesNoTemporary) {
    ScratchDirectory scratch(L"atomic");
    const std::wstring target = scratch.Join(L"deep\\er\\game.dat");
    // Larger than one write chunk, so the chunking loop must advance correctly.
    std::string big(2 * 1048576 + 12345, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((31 + i * 7) % 251);
    ASSERT_TRUE(WriteAndCommit(target, "old content"));
    ASSERT_TRUE(WriteAndCommit(target, big));
    EXPECT_EQ(ReadWholeFile(target), big);
    EXPECT_FALSE(FileExists(target + L".tmp"));

    // Zero bytes committed give an empty file, not the previous content.
    AtomicFile empty;
    ASSERT_TRUE(empty.Open(target));
    EXPECT_TRUE(empty.Write(nullptr, 0));
    ASSERT_TRUE(empty.Commit());
    EXPECT_TRUE(empty.committed());
    EXPECT_EQ(ReadWholeFile(target), "");
}

// A read-only destination, and a read-only temporary left by a killed run, are both replaced.
TEST(AtomicFileTest, ReadOnlyDestinationAndStaleTemporaryAreReplaced) {
    ScratchDirectory scratch(L"atomic-ro");
    const std::wstring target = scratch.Join(L"locked.bin");
    for (const std::wstring& leftover : {target, target + L".tmp"}) {
        ASSERT_TRUE(WriteWholeFile(leftover, "stale bytes from a killed run"));
        ASSERT_TRUE(::SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY));
        const std::string fresh = "fresh, replacing " + std::to_string(leftover.size());
        ASSERT_TRUE(WriteAndCommit(target, fresh));
        EXPECT_EQ(ReadWholeFile(target), fresh);
        EXPECT_FALSE(FileExists(target + L".tmp"));
    }
}

TEST(AtomicFileTest, FailedCommitKeepsDestinationAndRemovesTemporary) {
    ScratchDirectory scratch(L"atomic-dir");
    // A directory cannot be replaced by a file: both renames fail and nothing is left behind.
    const std::wstring target = scratch.Join(L"occupied");
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(target));
        ASSERT_TRUE(file.Write("x", 1));
        EXPECT_FALSE(file.Commit());
        EXPECT_FALSE(file.committed());
    }
    EXPECT_NE(::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(FileExists(target + L".tmp"));
}

TEST(AtomicFileTest, UncommittedWriterLeavesDestinationAndNoTemporary) {
    ScratchDirectory scratch(L"atomic-drop");
    const std::wstring target = scratch.Join(L"keep.bin");
    const std::wstring other = scratch.Join(L"other.bin");
    ASSERT_TRUE(WriteWholeFile(target, "original"));
    {
        AtomicFile file;
        ASSERT_TRUE(file.Open(target));
        ASSERT_TRUE(file.Write("partial", 7));
        EXPECT_TRUE(FileExists(target + L".tmp"));
        // Reopening on another target abandons the first temporary file rather than leaking it.
        ASSERT_TRUE(file.Open(other));
        EXPECT_FALSE(FileExists(target + L".tmp"));
        ASSERT_TRUE(file.Write("partial", 7));
        // Reopening on the same target must not trip over its own exclusive handle.
        ASSERT_TRUE(file.Open(other));
    }
    EXPECT_EQ(ReadWholeFile(target), "original");
    EXPECT_FALSE(FileExists(target + L".tmp"));
    EXPECT_FALSE(FileExists(other));
    EXPECT_FALSE(FileExists(other + L".tmp"));
}

TEST(AtomicFileTest, CallsOutOfOrderAreRefused) {
    ScratchDirectory scratch(L"atomic-order");
    AtomicFile file;
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Commit());
    ASSERT_TRUE(file.Open(scratch.Join(L"f.bin")));
    EXPECT_FALSE(file.Write(nullptr, 5));
    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_EQ(ReadWholeFile(scratch.Join(L"f.bin")), "");
}

TEST(EnsureDirectoryTest, CreatesMissingAncestorsAndRefusesFiles) {
    ScratchDirectory scratch(L"ensure");
    EXPECT_FALSE(EnsureDirectory(L""));
    const std::wstring deep = scratch.Join(L"a\\b/c\\d");
    EXPECT_TRUE(EnsureDirectory(deep));
    EXPECT_NE(::GetFileAttributesW(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(EnsureDirectory(deep));  // existing: nothing to create
    EXPECT_TRUE(EnsureDirectory(deep + L"\\"));

    const std::wstring plain = scratch.Join(L"plain.txt");
    ASSERT_TRUE(WriteWholeFile(plain, "x"));
    EXPECT_FALSE(EnsureDirectory(plain));
    EXPECT_FALSE(EnsureDirectory(plain + L"\\below\\deeper"));
    EXPECT_FALSE(FileExists(plain + L"\\below"));

    AtomicFile file;
    EXPECT_FALSE(file.Open(plain + L"\\inside.bin"));
}

// Reparse points. Wine 8 cannot make them from inside (CreateSymbolicLinkW reports success and
// creates nothing; FSCTL_SET_REPARSE_POINT gives ERROR_NOT_SUPPORTED), but it reports a directory
// symbolic link made on the host as FILE_ATTRIBUTE_REPARSE_POINT. So the links made here are tried
// and skipped when absent, and a host-made link is checked in under the test data.
void ExpectRefusedThrough(const std::wstring& link, const std::wstring& real) {
    EXPECT_FALSE(EnsureDirectory(link));
    EXPECT_FALSE(EnsureDirectory(link + L"\\missing"));
    AtomicFile file;
    EXPECT_FALSE(file.Open(link + L"\\through.bin"));
    // Below the link the folder already exists: only the ancestor scan can catch this one.
    EXPECT_FALSE(file.Open(link + L"\\sub\\through.bin"));
    EXPECT_FALSE(file.Open(link + L"\\sub\\new\\through.bin"));
    EXPECT_FALSE(FileExists(real + L"\\through.bin.tmp"));
    EXPECT_FALSE(FileExists(real + L"\\sub\\through.bin.tmp"));
    EXPECT_FALSE(FileExists(real + L"\\missing"));
    EXPECT_FALSE(FileExists(real + L"\\sub\\new"));
}

TEST(AtomicFileReparseTest, HostMadeDirectorySymlinkIsRefused) {
    const std::wstring base = std::wstring(L"" GARUN2_TEST_DATA_DIR) + L"\\reparse";
    const std::wstring link = base + L"\\link-to-real";
    ASSERT_TRUE(FileExists(base + L"\\real\\sub\\README.txt"));
    ASSERT_TRUE(FileExists(link + L"\\sub\\README.txt")) << "the link fixture is missing";
    if (!IsReparsePoint(link)) {
        GTEST_SKIP() << "this platform does not report the host symlink as a reparse point";
    }
    ExpectRefusedThrough(link, base + L"\\real");
    // Should a refusal ever fail, keep the source tree clean for the next run.
    testing::RemoveTree(base + L"\\real\\missing");
    testing::RemoveTree(base + L"\\real\\sub\\new");
}

// A host symlink to a file shows on Wine as a plain file; the writer must still not follow it
// when it sits where the temporary file goes.
TEST(AtomicFileReparseTest, HostMadeFileSymlinkAtTheTemporaryPathIsRefused) {
    const std::wstring base = std::wstring(L"" GARUN2_TEST_DATA_DIR) + L"\\reparse";
    const std::wstring precious = base + L"\\real\\precious.txt";
    const std::string before = ReadWholeFile(precious);
    ASSERT_NE(before, "<missing>");
    const std::wstring link = base + L"\\link-file.bin.tmp";
    if (ReadWholeFile(link) != before) GTEST_SKIP() << "the file link fixture is not a link here";
    // Read-only, the link's target looks like a stale read-only temporary file: its mode must
    // not be changed through the link either.
    ASSERT_TRUE(::SetFileAttributesW(precious.c_str(), FILE_ATTRIBUTE_READONLY));
    AtomicFile file;
    EXPECT_FALSE(file.Open(base + L"\\link-file.bin"));
    EXPECT_EQ(::GetFileAttributesW(precious.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ::SetFileAttributesW(precious.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadWholeFile(precious), before);
    EXPECT_FALSE(FileExists(base + L"\\link-file.bin"));
}

TEST(AtomicFileReparseTest, DirectorySymlinkAndJunctionAreRefused) {
    ScratchDirectory scratch(L"reparse-dir");
    ASSERT_TRUE(EnsureDirectory(scratch.Join(L"real\\sub")));
    const struct {
        const wchar_t* name;
        bool (*make)(const std::wstring&, const std::wstring&, unsigned long&);
    } kinds[] = {{L"symlink", MakeDirectorySymlink}, {L"junction", MakeJunction}};
    int made = 0;
    for (const auto& kind : kinds) {
        const std::wstring link = scratch.Join(kind.name);
        unsigned long error = 0;
        // Wine's CreateSymbolicLinkW may report success and make nothing.
        if (!kind.make(link, scratch.Join(L"real"), error) || !FileExists(link)) continue;
        ++made;
        ASSERT_TRUE(IsReparsePoint(link));
        ExpectRefusedThrough(link, scratch.Join(L"real"));
    }
    if (made == 0) GTEST_SKIP() << "neither a directory symbolic link nor a junction can be made";
}

TEST(AtomicFileReparseTest, DestinationOrTemporaryThatIsALinkIsRefused) {
    ScratchDirectory scratch(L"reparse-file");
    const std::wstring elsewhere = scratch.Join(L"elsewhere.bin");
    ASSERT_TRUE(WriteWholeFile(elsewhere, "elsewhere"));
    const std::wstring target = scratch.Join(L"target.bin");
    const std::wstring temp_link = scratch.Join(L"second.bin.tmp");
    const DWORD unprivileged = 0x2;
    ::CreateSymbolicLinkW(target.c_str(), elsewhere.c_str(), unprivileged);
    ::CreateSymbolicLinkW(temp_link.c_str(), elsewhere.c_str(), unprivileged);
    if (!IsReparsePoint(target) || !IsReparsePoint(temp_link)) {
        GTEST_SKIP() << "file symbolic links cannot be made here";
    }
    AtomicFile file;
    EXPECT_FALSE(file.Open(target));
    EXPECT_FALSE(file.Open(scratch.Join(L"second.bin")));
    EXPECT_EQ(ReadWholeFile(elsewhere), "elsewhere");
}

}  // namespace
}  // namespace patcher::win
