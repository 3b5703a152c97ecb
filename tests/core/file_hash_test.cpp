// HashFileSha256: a file spanning several 64 KiB chunks hashes like the same bytes in memory, an
// empty file gives the empty-input digest, and the open and read failures carry their messages.
#include "core/file_hash.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/sha256.h"

namespace patcher {
namespace {

class ScratchDir {
  public:
    ScratchDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("garun2_file_hash_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

TEST(HashFileSha256, MatchesInMemoryDigestAcrossChunks) {
    ScratchDir dir;
    // Exactly four chunks, and four chunks plus a partial block.
    for (std::size_t size : {4 * kFileHashChunkBytes, 4 * kFileHashChunkBytes + 1001}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>((i * 7 + i / 65536) & 0xff);
        const std::string file = dir.Write("data.bin", bytes);
        const Result<std::string> digest = HashFileSha256(file);
        ASSERT_TRUE(digest.ok()) << digest.status().message;
        EXPECT_EQ(digest.value(), Sha256Hex(bytes)) << size;
    }
    const Result<std::string> empty = HashFileSha256(dir.Write("empty.bin", ""));
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(HashFileSha256, MissingFileCannotBeOpened) {
    ScratchDir dir;
    const std::string missing = dir.Path("missing.bin");
    const Result<std::string> digest = HashFileSha256(missing);
    ASSERT_FALSE(digest.ok());
    EXPECT_EQ(digest.status().code, StatusCode::ContentMismatch);
    EXPECT_EQ(digest.status().message, "cannot open file: " + missing);
}

#if !defined(_WIN32)
// On POSIX a directory opens but every read fails: the hard read error must not pass for the end
// of an empty file (whose digest would look valid).
TEST(HashFileSha256, ReadErrorIsNotEndOfFile) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.Path("sub"));
    const Result<std::string> digest = HashFileSha256(dir.Path("sub"));
    ASSERT_FALSE(digest.ok());
    EXPECT_EQ(digest.status().code, StatusCode::ContentMismatch);
    EXPECT_EQ(digest.status().message, "cannot read file: " + dir.Path("sub"));
}
#endif

}  // namespace
}  // namespace patcher
