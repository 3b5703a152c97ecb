// The CNG SHA-256: the FIPS 180-4 examples, agreement with the core's hasher (both transforms) on
// inputs spanning several 64 KiB and 256 KiB chunks fed in uneven pieces, the flag rules, and
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

std::string CngHex(const std::string& bytes) {
    CngSha256 hasher;
    EXPECT_TRUE(hasher.ready());
    EXPECT_TRUE(hasher.Update(bytes.data(), bytes.size()));
    return hasher.Finish();
}

TEST(CngSha256, FipsExamples) {
    EXPECT_EQ(CngHex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(CngHex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(CngHex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(CngHex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(CngSha256, AgreesWithTheCoreOnLongInputs) {
    const unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 random(seed);
    for (std::size_t size : {std::size_t{7} * 65536 + 3, std::size_t{3} * 262144 + 4097}) {
        std::vector<std::uint8_t> data(size);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());

        CngSha256 cng;
        std::size_t offset = 0;
        while (offset < size) {
            const std::size_t piece = std::min<std::size_t>(size - offset, random() % 400000);
            ASSERT_TRUE(cng.Update(data.data() + offset, piece));
            offset += piece;
        }
        const std::string cng_hex = cng.Finish();
        for (Sha256Engine engine : {Sha256Engine::Portable, Sha256Engine::Auto}) {
            Sha256 core(engine);
            core.Update(data.data(), data.size());
            EXPECT_EQ(HexEncode(core.Finish()), cng_hex) << "size " << size << " seed " << seed;
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
