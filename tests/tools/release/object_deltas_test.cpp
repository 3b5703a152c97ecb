#include "tools/release/object_deltas.h"

#include <gtest/gtest.h>

#include "core/binary_delta.h"
#include "core/sha256.h"
#include "tests/tools/release/test_release_tool_fixture.h"
#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

using patcher::test_support::RandomBytes;
using test_support::TempFolder;

TEST(ObjectDeltas, PairsComeFromTheNewestReleasesBelowTheNewOneEachOnceAndWithinTheCap) {
    const std::uint64_t cap = kDeltaMaxFileBytes;
    const std::vector<ManifestFile> files = {{"a", 100, "N1", ""},
                                             {"b", 100, "N2", ""},
                                             {"big", cap + 1, "N3", ""},
                                             {"same", 100, "S", ""},
                                             {"c", 100, "N5", ""}};
    const std::vector<PublishedRelease> older = {
        {"r1", 1, {{"a", "O1", 100}, {"b", "O1b", cap}}},
        {"r3", 3, {{"a", "O2", 100}, {"b", "O3b", cap + 1}}},
        {"r9", 9, {{"a", "O9", 100}}},  // above the new release's counter
        {"r2", 2, {{"a", "O2", 100}, {"same", "S", 100}, {"c", "E", 0}, {"big", "O3", 50}}},
    };
    const struct {
        int count;
        std::vector<std::string> pairs;
    } rows[] = {
        {0, {}},
        {1, {"N1<O2"}},
        {2, {"N1<O2"}},
        {3, {"N1<O2", "N1<O1", "N2<O1b"}},
        {50, {"N1<O2", "N1<O1", "N2<O1b"}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> got;
        for (const DeltaPair& pair : ChooseDeltaPairs(files, older, 5, row.count)) {
            got.push_back(pair.new_sha256 + "<" + pair.old_sha256);
        }
        EXPECT_EQ(got, row.pairs) << row.count;
    }
}

TEST(ObjectDeltas, ADeltaDecodesOnlyFromItsOldObjectAndIsKeptOnlyWhenSmall) {
    TempFolder folder;
    const std::string old_bytes = RandomBytes(300000, 1);
    std::string new_bytes = old_bytes;
    new_bytes.replace(1000, 64, RandomBytes(64, 2));
    new_bytes += RandomBytes(500, 3);
    folder.Write("old", old_bytes);
    folder.Write("other", RandomBytes(300000, 4));
    folder.Write("new", new_bytes);
    const std::string new_sha = Sha256Hex(new_bytes), old_sha = Sha256Hex(old_bytes);

    Result<std::uint64_t> written = WriteDelta(folder.Path("old"), old_sha, folder.Path("new"), 3,
                                               new_bytes.size(), folder.Path("delta"));
    ASSERT_TRUE(written.ok()) << written.status().message;
    EXPECT_GT(written.value(), 500u);
    EXPECT_LT(written.value(), 2000u);
    EXPECT_TRUE(
        CheckDelta(folder.Path("delta"), folder.Path("old"), new_bytes.size(), new_sha).ok());
    EXPECT_EQ(
        CheckDelta(folder.Path("delta"), folder.Path("other"), new_bytes.size(), new_sha).code,
        StatusCode::ContentMismatch);

    Result<std::uint64_t> large = WriteDelta(folder.Path("old"), old_sha, folder.Path("new"), 3,
                                             written.value(), folder.Path("delta2"));
    ASSERT_TRUE(large.ok()) << large.status().message;
    EXPECT_EQ(large.value(), 0u);
    EXPECT_FALSE(PathExists(folder.Path("delta2")));
    // The old object must be the bytes its name says, as a patcher holds them.
    EXPECT_EQ(WriteDelta(folder.Path("other"), old_sha, folder.Path("new"), 3, new_bytes.size(),
                         folder.Path("delta3"))
                  .status()
                  .code,
              StatusCode::ContentMismatch);
}

}  // namespace
}  // namespace patcher::release
