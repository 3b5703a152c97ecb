#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compressed_form.h"
#include "core/form_decoder.h"
#include "tests/core/test_zstd_frames.h"

namespace patcher {
namespace {

using test_support::Decoded;
using test_support::FeedInPieces;
using test_support::Frame;

// A form of `frames`, each entry the frame and the decoded length the table claims for it.
std::string Form(const std::vector<std::pair<std::string, std::uint32_t>>& frames) {
    std::vector<FormFrame> table;
    std::string body;
    std::uint64_t file_size = 0;
    for (const auto& [frame, length] : frames) {
        file_size += length;
        table.push_back(FormFrame{0, length, 0, static_cast<std::uint32_t>(frame.size())});
        body += frame;
    }
    return SerializeFormTable(file_size, table) + body;
}

Decoded DecodeWhole(const std::string& form, std::uint64_t file_size, std::size_t piece = 7) {
    FormDecoder decoder(file_size);
    return FeedInPieces(decoder, form, piece);
}

TEST(FormDecoder, DecodesWholeFramesAndRefusesEveryFrameThatIsNotWhatItsTableSays) {
    const std::string a(3000, 'a'), b(70000, 'b');
    const std::string good_a = Frame({a}), good_b = Frame({b});
    const struct {
        const char* name;
        std::string form;
        std::uint64_t file_size;
        const char* why;  // empty: decoded whole
    } rows[] = {
        {"good", Form({{good_a, 3000}, {good_b, 70000}}), 73000, ""},
        {"past its length", Form({{Frame({a, 5000, 20}), 3000}, {good_b, 70000}}), 73000,
         "does not decode to its 3000 bytes"},
        {"short of its length", Form({{Frame({a, 0, 20}), 3500}, {good_b, 70000}}), 73500,
         "decodes to 3000 bytes, not 3500"},
        {"header lies", Form({{Frame({a, 0, 0, 2000}), 3000}, {good_b, 70000}}), 73000,
         "says it holds 2000 bytes"},
        // One step past the 1 MiB cap that "past its length" passes at: the cap is held exactly.
        {"window past the cap", Form({{Frame({a, 0, 21}), 3000}, {good_b, 70000}}), 73000,
         "asks for a window of 2097152"},
        {"two frames in one", Form({{good_a + good_a, 6000}, {good_b, 70000}}), 76000,
         "is not one zstd frame"},
        {"a skippable frame",
         Form({{std::string("\x50\x2a\x4d\x18\0\0\0\0", 8), 3000}, {good_b, 70000}}), 73000,
         "has no zstd frame header"},
        {"another file's", Form({{good_a, 3000}, {good_b, 70000}}), 73001, "a file of 73000 bytes"},
        {"more after its end", Form({{good_a, 3000}, {good_b, 70000}}) + "x", 73000,
         "goes on after its last frame"},
    };
    for (const auto& row : rows) {
        const Decoded got = DecodeWhole(row.form, row.file_size);
        if (std::string(row.why).empty()) {
            EXPECT_TRUE(got.fed && got.done) << row.name << ": " << got.why;
            EXPECT_EQ(got.bytes, a + b) << row.name;
        } else {
            EXPECT_FALSE(got.fed) << row.name;
            EXPECT_NE(got.why.find(row.why), std::string::npos) << row.name << ": " << got.why;
            // Only whole frames that held up were handed on.
            EXPECT_TRUE(got.bytes.empty() || got.bytes == a || got.bytes == a + b) << row.name;
        }
    }
    const std::string whole = Form({{good_a, 3000}, {good_b, 70000}});
    const Decoded truncated = DecodeWhole(whole.substr(0, whole.size() - 10), 73000);
    EXPECT_TRUE(truncated.fed && !truncated.done);
    EXPECT_EQ(truncated.bytes, a);
}

TEST(FormDecoder, DecodesARunOfFramesFromAPlaceInTheFirst) {
    const std::string a(3000, 'a'), b(5000, 'b'), c(100, 'c');
    const std::string form = Form({{Frame({a}), 3000}, {Frame({b}), 5000}, {Frame({c}), 100}});
    std::string why;
    const std::string table = form.substr(0, kFormHeadBytes + 3 * kFormFrameEntryBytes);
    const auto frames = ParseFormTable(table, 8100, why);
    ASSERT_TRUE(frames) << why;
    const FormFrame& second = (*frames)[1];
    FormDecoder decoder(*frames, 1, 1, 4000);
    std::string out;
    EXPECT_TRUE(decoder.Feed(form.data() + second.form_offset, second.form_length,
                             [&](const char* bytes, std::uint32_t size) {
                                 out.append(bytes, size);
                                 return true;
                             }));
    EXPECT_TRUE(decoder.done());
    EXPECT_EQ(out, b.substr(1000));
}

TEST(CompressedForm, FramesAreRunsOfWholeGroupsOfAtMostTheLimit) {
    std::vector<ChunkGroup> groups;
    for (std::uint32_t length : {600000u, 400000u, 100000u, 1048576u, 5u}) {
        groups.push_back(ChunkGroup{0, length, 0, 1, 0});
    }
    EXPECT_EQ(FormFrameLengths(2148581, groups),
              (std::vector<std::uint32_t>{1000000, 100000, 1048576, 5}));
    EXPECT_EQ(FormFrameLengths(5000, {}), std::vector<std::uint32_t>{5000});
    EXPECT_TRUE(FormFrameLengths(0, {}).empty());
}

TEST(CompressedForm, PlanTakesAFrameFromTheFormWhereItFetchesFewerBytes) {
    // Frames of 100 bytes; the form's are 10, 200 and 10 bytes.
    const std::vector<FormFrame> frames = {
        {0, 100, 56, 10}, {100, 100, 66, 200}, {200, 100, 266, 10}};
    using S = FormPiece::Source;
    const auto plan = [&](std::vector<ChunkSegment> segments) {
        std::vector<std::tuple<S, std::uint64_t, std::uint64_t, std::uint32_t>> out;
        for (const FormPiece& p : PlanFormPieces(segments, frames)) {
            out.emplace_back(p.source, p.offset, p.length, p.first_frame);
        }
        return out;
    };
    using Row = std::vector<std::tuple<S, std::uint64_t, std::uint64_t, std::uint32_t>>;
    // A whole fetch from byte 50: frame 0's rest and frame 2 from the form, frame 1 raw.
    EXPECT_EQ(plan({{50, 250, false, 0}}),
              (Row{{S::Form, 50, 50, 0}, {S::Raw, 100, 100, 0}, {S::Form, 200, 100, 2}}));
    // Five fetched bytes in frame 0 cost less raw; frame 2 is fetched whole and the old copy's
    // bytes in it come from the form too.
    EXPECT_EQ(plan({{0, 5, false, 0}, {5, 245, true, 5}, {250, 50, false, 0}}),
              (Row{{S::Raw, 0, 5, 0}, {S::Old, 5, 195, 0}, {S::Form, 200, 100, 2}}));
    EXPECT_TRUE(plan({{0, 299, false, 0}}).empty());  // frames for another size
}

}  // namespace
}  // namespace patcher
