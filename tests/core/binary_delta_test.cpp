#include "core/binary_delta.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/test_zstd_frames.h"

namespace patcher {
namespace {

using test_support::Decoded;
using test_support::FeedInPieces;
using test_support::Frame;

Decoded Decode(const std::string& delta, std::uint64_t new_size, std::size_t piece) {
    const std::string old(5000, 'o');
    DeltaDecoder decoder(old, new_size);
    return FeedInPieces(decoder, delta, piece);
}

TEST(DeltaDecoder, DecodesOneFrameOfTheNewSizeAndRefusesAnyOtherShape) {
    const std::string a(3000, 'a');
    const std::string good = Frame({a});
    const struct {
        const char* name;
        std::string delta;
        std::uint64_t new_size;
        const char* why;  // null: decoded whole; empty: refused for any reason
    } rows[] = {
        {"good", good, 3000, nullptr},
        {"good with a window", Frame({a, 0, 20, ~0ull, true}), 3000, nullptr},
        {"no content size", Frame({a, 0, 20}), 3000, "does not say how many bytes"},
        {"another size", good, 3001, "says it makes 3000 bytes, not 3001"},
        {"window too large", Frame({a, 0, kDeltaMaxWindowLog + 1, ~0ull, true}), 3000,
         "asks for a window of 268435456"},
        {"past its length", Frame({a, 70000, 20, 3000, true}), 3000, ""},
        {"two frames", good + good, 3000, "goes on after its frame"},
        {"trailing bytes", good + "x", 3000, "goes on after its frame"},
        {"a skippable frame", std::string("\x50\x2a\x4d\x18\4\0\0\0abcd", 12) + good, 3000,
         "not a zstd frame of data"},
        {"not zstd", std::string(40, 'z'), 3000, "does not start with a zstd frame header"},
    };
    for (const auto& row : rows) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            const Decoded got = Decode(row.delta, row.new_size, piece);
            const std::string name =
                std::string(row.name) + " in pieces of " + std::to_string(piece);
            EXPECT_LE(got.bytes.size(), row.new_size) << name;
            if (row.why == nullptr) {
                EXPECT_TRUE(got.fed && got.done) << name << ": " << got.why;
                EXPECT_EQ(got.bytes, a) << name;
            } else {
                EXPECT_FALSE(got.fed || got.done) << name;
                EXPECT_NE(got.why.find(row.why), std::string::npos) << name << ": " << got.why;
            }
        }
    }
    const Decoded truncated = Decode(good.substr(0, good.size() - 10), 3000, 7);
    EXPECT_TRUE(truncated.fed && !truncated.done);
}

TEST(DeltaDecoder, ListNamesEachWantedPairOnce) {
    const std::string n(64, 'n'), o(64, 'o'), p(64, 'p');
    const std::string text = "delta " + n + " " + o + " 12\n" + "delta " + n + " " + p + " 7\n" +
                             "delta " + n + " " + o + " 99\n" + "delta " + o + " " + n + " 5\n" +
                             "delta " + n + " short 5\n" + "zst " + n + " 5\n" + "delta " + n +
                             " " + p + " 12x\n";
    std::vector<std::string> got;
    for (const DeltaListing& delta : ParseDeltaList(text, {n})) {
        got.push_back(delta.old_sha256 + " " + std::to_string(delta.bytes));
    }
    EXPECT_EQ(got, (std::vector<std::string>{o + " 12", p + " 7"}));
}

}  // namespace
}  // namespace patcher
