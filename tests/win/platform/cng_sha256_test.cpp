// The CNG SHA-256: agreement with the core's hasher (both transforms), the flag rules, and
// CngSha256OfHandle hashing from offset 0 and leaving the file pointer there.
#include "win/platform/cng_sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/sha256.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

// The FIPS 180-4 examples (the core's own test holds it to their digests) and inputs spanning
// several chunks, fed to CNG in uneven pieces.
TEST(CngSha256, AgreesWithTheCore) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    std::vector<std::string> inputs = {"", "abc",
                                       "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                       std::string(1000000, 'a')};
    for (std::size_t size : {std::size_t{7} * 65536 + 3, std::size_t{3} * 262144 + 4097}) {
        std::string& data = inputs.emplace_back(size, '\0');
        for (char& byte : data) byte = static_cast<char>(random());
    }
    for (const std::string& data : inputs) {
        CngSha256 cng;
        ASSERT_TRUE(cng.ready());
        for (std::size_t offset = 0, piece = 0; offset < data.size(); offset += piece) {
            piece = std::min<std::size_t>(data.size() - offset, random() % 400000);
            ASSERT_TRUE(cng.Update(data.data() + offset, piece));
        }
        const std::string cng_hex = cng.Finish();
        for (Sha256Engine engine : {Sha256Engine::Portable, Sha256Engine::Auto}) {
            Sha256 core(engine);
            core.Update(data.data(), data.size());
            EXPECT_EQ(HexEncode(core.Finish()), cng_hex) << "size " << data.size();
        }
    }
}

TEST(CngSha256, FlagRules) {
    CngSha256 hasher;
    ASSERT_TRUE(hasher.ready());
    EXPECT_TRUE(hasher.Update(nullptr, 0));
    EXPECT_TRUE(hasher.Update("abc", 3));
    EXPECT_EQ(hasher.Finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(hasher.finished());
    EXPECT_FALSE(hasher.Update("x", 1));
    EXPECT_EQ(hasher.Finish(), "");

    CngSha256 broken;
    EXPECT_FALSE(broken.Update(nullptr, 5));
    EXPECT_FALSE(broken.ready());
    EXPECT_FALSE(broken.Update("abc", 3));
    EXPECT_EQ(broken.Finish(), "");
}

TEST(CngSha256OfHandle, WholeFileFromOffsetZeroAndPointerRestored) {
    testing::ScratchDirectory scratch(L"cng");
    const std::wstring path = scratch.Join(L"data.bin");
    std::string bytes(3 * 262144 + 1234, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 13) >> 3);
    ASSERT_TRUE(testing::WriteWholeFile(path, bytes));

    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    // The caller's file pointer is somewhere in the middle; the digest still covers every byte.
    LARGE_INTEGER middle{};
    middle.QuadPart = 100000;
    ASSERT_TRUE(::SetFilePointerEx(file.get(), middle, nullptr, FILE_BEGIN));

    EXPECT_EQ(CngSha256OfHandle(file.get()), Sha256Hex(bytes));
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    ASSERT_TRUE(::SetFilePointerEx(file.get(), zero, &position, FILE_CURRENT));
    EXPECT_EQ(position.QuadPart, 0);
}

TEST(CngSha256OfHandle, FailuresGiveTheEmptyString) {
    EXPECT_EQ(CngSha256OfHandle(nullptr), "");
    EXPECT_EQ(CngSha256OfHandle(INVALID_HANDLE_VALUE), "");

    // A handle without read access: the read fails.
    testing::ScratchDirectory scratch(L"cng");
    const std::wstring path = scratch.Join(L"write-only.bin");
    ASSERT_TRUE(testing::WriteWholeFile(path, "content"));
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    EXPECT_EQ(CngSha256OfHandle(file.get()), "");
}

}  // namespace
}  // namespace patcher::win
