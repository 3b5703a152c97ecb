// HashFileSha256: a file spanning several 64 KiB chunks hashes like the same bytes in memory, an
// empty file gives the empty-input digest, and the open and read failures carry their messages.
#include "core/file_hash.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/sha256.h"
#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

TEST(HashFileSha256, MatchesInMemoryDigestAcrossChunks) {
    const test_support::ScratchDir dir("file_hash");
    // An empty file, exactly four chunks, and four chunks plus a partial block.
    for (std::size_t size :
         {std::size_t{0}, 4 * kFileHashChunkBytes, 4 * kFileHashChunkBytes + 1001}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 65536) & 0xff);
        dir.Write("data.bin", bytes);
        const Result<std::string> digest = HashFileSha256(dir.Path("data.bin"));
        ASSERT_TRUE(digest.ok()) << digest.status().message;
        EXPECT_EQ(digest.value(), Sha256Hex(bytes)) << size;
    }
}

TEST(HashFileSha256, OpenAndReadFailuresAreErrors) {
    const test_support::ScratchDir dir("file_hash");
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir.Path("missing.bin"), "cannot open file: "}};
#if !defined(_WIN32)
    // On POSIX a directory opens but every read fails: the hard read error must not pass for the
    // end of an empty file (whose digest would look valid).
    std::filesystem::create_directory(dir.Path("sub"));
    cases.push_back({dir.Path("sub"), "cannot read file: "});
#endif
    for (const auto& [path, message] : cases) {
        test_support::ExpectStatus(HashFileSha256(path).status(), StatusCode::ContentMismatch,
                                   message + path);
    }
}

}  // namespace
}  // namespace patcher
