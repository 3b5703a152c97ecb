#include "core/rollback_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

namespace fs = std::filesystem;
using test_support::ExpectStatus;

const std::string kA(64, 'a'), kB(64, 'b');
const std::string kMax = "18446744073709551615";

RollbackState SampleState() {
    RollbackState state;
    state.keys_version = "5";
    state.keys_sha256 = kA;
    state.manifest_counter = kMax;
    state.manifest_sha256 = kB;
    return state;
}

// The four fields joined by '|', or the failure.
std::string Fields(const Result<RollbackState>& state) {
    if (!state.ok()) return "error: " + state.status().message;
    const RollbackState& s = state.value();
    return s.keys_version + "|" + s.keys_sha256 + "|" + s.manifest_counter + "|" +
           s.manifest_sha256;
}

class RollbackStateFileTest : public ::testing::Test {
  protected:
    test_support::ScratchDir dir_{"state"};
    const std::string path_ = dir_.Path("state.txt");
};

// Only a missing file means "no baseline"; one that is there but cannot be read (locked, denied,
// or here a directory) fails closed instead of switching the rollback check off.
TEST_F(RollbackStateFileTest, ExistingButUnreadableStateIsAnError) {
    fs::create_directory(path_);
    ExpectStatus(ReadStateFile(path_).status(), StatusCode::BadInput,
                 "state file unreadable: " + path_);
}

TEST_F(RollbackStateFileTest, WhatIsWrittenReadsBackAndARewriteReplacesIt) {
    // The exact text it writes is the Validate tests' to hold.
    ASSERT_TRUE(WriteStateFile(path_, SampleState()).ok());
    const Result<RollbackState> first = ReadStateFile(path_);
    EXPECT_EQ(Fields(first), "5|" + kA + "|" + kMax + "|" + kB);
    EXPECT_TRUE(first.ok() && first.value().present);

    // The replace-existing rename; under Wine it exercises the Win32 path.
    RollbackState next = SampleState();
    next.keys_version = "6";
    next.manifest_counter = "";
    ASSERT_TRUE(WriteStateFile(path_, next).ok());
    EXPECT_EQ(Fields(ReadStateFile(path_)), "6|" + kA + "||" + kB);
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(RollbackStateFileTest, FailedWriteKeepsThePreviousBaseline) {
    ASSERT_TRUE(WriteStateFile(path_, SampleState()).ok());
    const std::string before = dir_.Read("state.txt");
    // The temporary cannot be created: nothing is touched.
    fs::create_directories(path_ + ".tmp");
    ExpectStatus(WriteStateFile(path_, RollbackState{}), StatusCode::BadInput,
                 "cannot write state file: " + path_);
    EXPECT_EQ(dir_.Read("state.txt"), before);
    fs::remove(path_ + ".tmp");

    // A leftover temporary from an interrupted write is neither read nor in the way.
    dir_.Write("state.txt.tmp", "keys-version 1");
    EXPECT_EQ(Fields(ReadStateFile(path_)), "5|" + kA + "|" + kMax + "|" + kB);
    RollbackState next = SampleState();
    next.keys_version = "7";
    ASSERT_TRUE(WriteStateFile(path_, next).ok());
    EXPECT_EQ(ReadStateFile(path_).value().keys_version, "7");

    // The destination cannot be replaced: the failure is reported and the temporary removed.
    const std::string dir_path = dir_.Path("sub");
    fs::create_directories(dir_path + "/child");
    ExpectStatus(WriteStateFile(dir_path, next), StatusCode::BadInput,
                 "state file write failed: " + dir_path);
    EXPECT_TRUE(fs::is_directory(dir_path + "/child"));
    EXPECT_FALSE(fs::exists(dir_path + ".tmp"));

    const std::string no_dir = dir_.Path("missing/state.txt");
    EXPECT_EQ(WriteStateFile(no_dir, next).message, "cannot write state file: " + no_dir);
}

TEST_F(RollbackStateFileTest, LenientReader) {
    dir_.Write("state.txt",
               "keys-version\nkeys-version \nunknown 1\nkeys-version 3 x\nkeys-version 4\n"
               "manifest-counter 8\r\nmanifest-sha256  two  spaces\nkeys-sha256 tail-without-lf");
    // A CRLF file leaves a CR in the counter, which the comparison then refuses (the Validate
    // tests, with an empty file too).
    EXPECT_EQ(Fields(ReadStateFile(path_)), "3 x|tail-without-lf|8\r| two  spaces");
}

TEST(CheckCounterTest, ComparesAsSixtyFourBitNumbersAndGuardsReplay) {
    const std::string below_max = "18446744073709551614", beyond = "18446744073709551616";
    const std::string back = " -- rollback attack",
                      replay = " but different content -- counter replay";
    const std::string unusable = "counter is not a usable integer";
    const struct {
        const char *new_sha256, *stored_sha256;
        std::string new_counter, stored_counter, message;  // empty message: accepted
    } cases[] = {
        {"x", "y", "garbage", "", ""},  // no stored counter: nothing to compare
        {"d", "d", "4", "5", "counter went backwards (4 < 5)" + back},
        {"new", "old", "5", "5", "same counter (5)" + replay},
        {"d", "d", "5", "5", ""},
        {"new", "old", "6", "5", ""},
        {"a", "b", "10", "9", ""},  // numbers, not text
        {"a", "a", "9", "010", "counter went backwards (9 < 010)" + back},
        {"a", "b", "07", "7", "same counter (07)" + replay},  // another spelling of the same number
        {"a", "b", kMax, below_max, ""},
        {"a", "b", below_max, kMax,
         "counter went backwards (" + below_max + " < " + kMax + ")" + back},
        {"a", "b", kMax, kMax, "same counter (" + kMax + ")" + replay},
        {"a", "a", kMax, beyond, unusable},
        {"a", "a", beyond, kMax, unusable},
        {"a", "a", "1", "-1", unusable},
        {"a", "a", "", "1", unusable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.new_counter + " vs " + c.stored_counter);
        const Status s = CheckCounter("manifest", c.new_sha256, c.stored_sha256, c.new_counter,
                                      c.stored_counter);
        EXPECT_EQ(s.code, c.message.empty() ? StatusCode::Ok : StatusCode::Rollback);
        EXPECT_EQ(s.message, c.message.empty() ? "" : "manifest " + c.message);
    }
}

}  // namespace
}  // namespace patcher
