#include "core/verified_records.h"

#include <gtest/gtest.h>

#include <string>

namespace patcher {
namespace {

const std::string kSha(64, 'a');
const FileStamp kStamp{1000, 133000000000000000ull, 0x1234abcd, 42};

TEST(VerifiedRecordsTest, OnlyAnUnchangedStampAndTheSameDigestVouch) {
    VerifiedRecords records;
    records.Set("data/a.pak", kStamp, kSha);
    const auto changed = [](auto change) {
        FileStamp stamp = kStamp;
        change(stamp);
        return stamp;
    };
    const struct {
        const char* what;
        std::string path;
        FileStamp stamp;
        std::string sha256;
        bool vouches;
    } cases[] = {
        {"unchanged", "data/a.pak", kStamp, kSha, true},
        {"another digest in the manifest", "data/a.pak", kStamp, std::string(64, 'b'), false},
        {"size", "data/a.pak", changed([](FileStamp& s) { s.size += 1; }), kSha, false},
        {"write time", "data/a.pak", changed([](FileStamp& s) { s.write_time += 1; }), kSha, false},
        {"volume", "data/a.pak", changed([](FileStamp& s) { s.volume += 1; }), kSha, false},
        {"file index", "data/a.pak", changed([](FileStamp& s) { s.file_index += 1; }), kSha, false},
        {"another path", "data/b.pak", kStamp, kSha, false},
        {"letter case", "Data/a.pak", kStamp, kSha, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(records.Vouches(c.path, c.stamp, c.sha256), c.vouches) << c.what;
        // What the copy on disk holds is known exactly when a record still vouches for it.
        EXPECT_EQ(records.DigestOf(c.path, c.stamp), c.vouches || c.sha256 != kSha ? kSha : "")
            << c.what;
    }
}

TEST(VerifiedRecordsTest, StampsTheFileSystemCouldNotGiveAreNeverRecorded) {
    VerifiedRecords records;
    records.Set("a", FileStamp{1, 0, 7, 9}, kSha);
    records.Set("b", FileStamp{1, 5, 7, 0}, kSha);
    records.Set("c\nd", kStamp, kSha);
    records.Set("e", kStamp, "not a digest");
    EXPECT_EQ(records.size(), 0u);
}

TEST(VerifiedRecordsTest, TheTextReadsBackAndAnyBadLineRefusesTheWholeSet) {
    VerifiedRecords records;
    records.Set("game/Velmor2.exe", kStamp, kSha);
    records.Set("data/with space.pak", FileStamp{0, 9, 0, 3}, std::string(64, 'c'));
    const std::string text = records.Text();
    const std::optional<VerifiedRecords> read = VerifiedRecords::Parse(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Text(), text);
    EXPECT_TRUE(read->Vouches("data/with space.pak", FileStamp{0, 9, 0, 3}, std::string(64, 'c')));

    const std::string good = kSha + " 1 2 3 4 a\n";
    for (const std::string& bad : {
             std::string(),
             "garun2-verified 2\n" + good,
             "garun2-verified 1\n" + good + good,                            // a path twice
             "garun2-verified 1\n" + good + kSha + " 1 2 3 4\n",             // no path
             "garun2-verified 1\n" + good + kSha + " 1 2 4294967296 4 b\n",  // volume past 32 bits
             "garun2-verified 1\n" + good + kSha + " 1 x 3 4 b\n",
             "garun2-verified 1\n" + good + std::string(64, 'A') + " 1 2 3 4 b\n",
         }) {
        EXPECT_FALSE(VerifiedRecords::Parse(bad)) << bad;
    }
    EXPECT_TRUE(VerifiedRecords::Parse("garun2-verified 1\n" + good));
}

TEST(VerifiedRecordsTest, DroppedAndUnlistedPathsGo) {
    VerifiedRecords records;
    for (const char* path : {"a", "b", "c"}) records.Set(path, kStamp, kSha);
    records.Drop("b");
    records.KeepOnly({"a", "b"});
    EXPECT_TRUE(records.Vouches("a", kStamp, kSha));
    EXPECT_FALSE(records.Vouches("b", kStamp, kSha));
    EXPECT_FALSE(records.Vouches("c", kStamp, kSha));
    EXPECT_EQ(records.size(), 1u);
}

}  // namespace
}  // namespace patcher
