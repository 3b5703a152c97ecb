// SHA-256 on both block transforms: the FIPS 180-4 examples, and agreement between the two paths
// on long inputs fed in uneven pieces across the 64 KiB and 256 KiB chunk sizes the hashers use.
#include "core/sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/hex.h"

namespace patcher {
namespace {

struct Example {
    std::string message;
    const char* digest;
};

std::vector<Example> FipsExamples() {
    return {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
}

std::string HashWith(Sha256Engine engine, const std::string& message) {
    Sha256 hasher(engine);
    hasher.Update(message);
    return HexEncode(hasher.Finish());
}

std::vector<Sha256Engine> EnginesHere() {
    std::vector<Sha256Engine> engines = {Sha256Engine::Portable};
    if (Sha256ShaExtensionsAvailable()) engines.push_back(Sha256Engine::ShaExtensions);
    return engines;
}

TEST(Sha256, FipsExamplesOnEveryTransform) {
    for (Sha256Engine engine : EnginesHere()) {
        for (const Example& example : FipsExamples()) {
            EXPECT_EQ(HashWith(engine, example.message), example.digest)
                << "engine " << static_cast<int>(engine) << ", length " << example.message.size();
        }
    }
    EXPECT_EQ(Sha256Hex("abc"), FipsExamples()[1].digest);
}

#if defined(__i386__)
// 32-bit Windows promises a 4-byte aligned stack only, and a thread it starts (or a callback it
// makes) may begin anywhere on that grid; a transform that assumes 16 faults there.
struct MisalignedJob {
    Sha256Engine engine;
    std::string digest;
};
MisalignedJob misaligned_job;

void HashMisalignedJob() {
    misaligned_job.digest = HashWith(misaligned_job.engine, std::string(1000, 'x'));
}

// Calls `body` with its esp `misalignment` bytes off what the System V i386 ABI guarantees.
void CallWithStackMisalignedBy(std::uint32_t misalignment, void (*body)()) {
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t"
        "subl %[misalignment], %%esp\n\t"
        "calll *%[body]\n\t"
        "movl %%esi, %%esp"
        :
        : [misalignment] "r"(misalignment), [body] "r"(body)
        : "eax", "ecx", "edx", "esi", "memory", "cc");
}

TEST(Sha256, EveryTransformRunsOnAStackAlignedToFourBytesOnly) {
    const std::string expected = HashWith(Sha256Engine::Portable, std::string(1000, 'x'));
    for (Sha256Engine engine : EnginesHere()) {
        for (std::uint32_t misalignment : {0u, 4u, 8u, 12u}) {
            misaligned_job = {engine, ""};
            CallWithStackMisalignedBy(misalignment, &HashMisalignedJob);
            EXPECT_EQ(misaligned_job.digest, expected) << misalignment;
        }
    }
}
#endif

// Every length around the padding boundaries, fed at once and byte by byte. The expected value is
// SHA-256 over the 201 digests as Python's hashlib computes them.
TEST(Sha256, PaddingBoundariesAgree) {
    std::string message;
    Sha256 all_digests(Sha256Engine::Portable);
    for (int length = 0; length <= 200; ++length) {
        const std::string reference = HashWith(Sha256Engine::Portable, message);
        all_digests.Update(Sha256Of(message).data(), 32);
        Sha256 bytewise;
        for (char c : message) bytewise.Update(&c, 1);
        EXPECT_EQ(HexEncode(bytewise.Finish()), reference) << length;
        EXPECT_EQ(HashWith(Sha256Engine::Auto, message), reference) << length;
        message.push_back(static_cast<char>(length * 37 + 11));
    }
    EXPECT_EQ(HexEncode(all_digests.Finish()),
              "09bba6f21f157de4b22c6e4e84e0fe17119f27833e9cd1aaaeb82855755a2130");
}

TEST(Sha256, LongInputsInUnevenPiecesAgree) {
    const unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 random(seed);
    // Three sizes: several 64 KiB chunks, several 256 KiB chunks, and one that ends mid-block.
    for (std::size_t size :
         {std::size_t{5} * 65536 + 17, std::size_t{3} * 262144 + 64, std::size_t{1100000}}) {
        std::vector<std::uint8_t> data(size);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        Sha256 whole_portable(Sha256Engine::Portable);
        whole_portable.Update(data.data(), data.size());
        const std::string reference = HexEncode(whole_portable.Finish());

        for (Sha256Engine engine : EnginesHere()) {
            Sha256 pieces(engine);
            std::size_t offset = 0;
            while (offset < size) {
                const std::size_t piece = std::min<std::size_t>(size - offset, random() % 300000);
                pieces.Update(data.data() + offset, piece);
                offset += piece;
            }
            EXPECT_EQ(HexEncode(pieces.Finish()), reference)
                << "size " << size << ", engine " << static_cast<int>(engine) << ", seed " << seed;
        }
    }
}

}  // namespace
}  // namespace patcher
