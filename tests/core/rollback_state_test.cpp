#include "core/rollback_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace patcher {
namespace {

namespace fs = std::filesystem;

class RollbackStateFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("garun2_state_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "state.txt").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteRaw(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string ReadRaw(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    fs::path dir_;
    std::string path_;
};

RollbackState SampleState() {
    RollbackState state;
    state.keys_version = "5";
    state.keys_sha256 = std::string(64, 'a');
    state.manifest_counter = "18446744073709551615";
    state.manifest_sha256 = std::string(64, 'b');
    return state;
}

void ExpectState(const RollbackState& s, const std::string& kv, const std::string& ks,
                 const std::string& mc, const std::string& ms) {
    EXPECT_EQ(s.keys_version, kv);
    EXPECT_EQ(s.keys_sha256, ks);
    EXPECT_EQ(s.manifest_counter, mc);
    EXPECT_EQ(s.manifest_sha256, ms);
}

TEST_F(RollbackStateFileTest, NoPathOrNoFileIsAnEmptyBaseline) {
    for (const std::string& path : {std::string(), path_}) {
        Result<RollbackState> state = ReadStateFile(path);
        ASSERT_TRUE(state.ok());
        EXPECT_FALSE(state.value().present);
        ExpectState(state.value(), "", "", "", "");
    }
    EXPECT_FALSE(fs::exists(path_));
}

// Only a missing file means "no baseline"; one that is there but cannot be read (locked, denied,
// or here a directory) fails closed instead of switching the rollback check off.
TEST_F(RollbackStateFileTest, ExistingButUnreadableStateIsAnError) {
    fs::create_directory(path_);
    const Result<RollbackState> state = ReadStateFile(path_);
    ASSERT_FALSE(state.ok());
    EXPECT_EQ(state.status().code, StatusCode::BadInput);
    EXPECT_EQ(state.status().message, "state file unreadable: " + path_);
}

TEST_F(RollbackStateFileTest, WriteProducesTheFourLinesAndReadsBack) {
    ASSERT_TRUE(WriteStateFile(path_, SampleState()).ok());
    EXPECT_EQ(ReadRaw(path_), "keys-version 5\nkeys-sha256 " + std::string(64, 'a') +
                                  "\nmanifest-counter 18446744073709551615\nmanifest-sha256 " +
                                  std::string(64, 'b') + "\n");
    Result<RollbackState> state = ReadStateFile(path_);
    ASSERT_TRUE(state.ok());
    EXPECT_TRUE(state.value().present);
    ExpectState(state.value(), "5", std::string(64, 'a'), "18446744073709551615",
                std::string(64, 'b'));
}

TEST_F(RollbackStateFileTest, RewriteReplacesTheOldFileAndLeavesNoTemporary) {
    // This is the replace-existing rename; under Wine it exercises the Win32 path.
    ASSERT_TRUE(WriteStateFile(path_, SampleState()).ok());
    RollbackState next = SampleState();
    next.keys_version = "6";
    next.manifest_counter = "";
    ASSERT_TRUE(WriteStateFile(path_, next).ok());
    Result<RollbackState> state = ReadStateFile(path_);
    ASSERT_TRUE(state.ok());
    ExpectState(state.value(), "6", std::string(64, 'a'), "", std::string(64, 'b'));
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(RollbackStateFileTest, FailedWriteKeepsThePreviousBaseline) {
    ASSERT_TRUE(WriteStateFile(path_, SampleState()).ok());
    const std::string before = ReadRaw(path_);
    // The temporary cannot be created: nothing is touched.
    fs::create_directories(path_ + ".tmp");
    Status blocked = WriteStateFile(path_, RollbackState{});
    EXPECT_EQ(blocked.code, StatusCode::BadInput);
    EXPECT_EQ(blocked.message, "cannot write state file: " + path_);
    EXPECT_EQ(ReadRaw(path_), before);
    fs::remove(path_ + ".tmp");

    // A leftover temporary from an interrupted write is neither read nor in the way.
    WriteRaw(path_ + ".tmp", "keys-version 1");
    Result<RollbackState> state = ReadStateFile(path_);
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state.value().keys_version, "5");
    RollbackState next = SampleState();
    next.keys_version = "7";
    ASSERT_TRUE(WriteStateFile(path_, next).ok());
    EXPECT_EQ(ReadStateFile(path_).value().keys_version, "7");

    // The destination cannot be replaced: the failure is reported and the temporary removed.
    const std::string dir_path = (dir_ / "sub").string();
    fs::create_directories(dir_path + "/child");
    Status replaced = WriteStateFile(dir_path, next);
    EXPECT_EQ(replaced.code, StatusCode::BadInput);
    EXPECT_EQ(replaced.message, "state file write failed: " + dir_path);
    EXPECT_TRUE(fs::is_directory(dir_path + "/child"));
    EXPECT_FALSE(fs::exists(dir_path + ".tmp"));

    const std::string no_dir = (dir_ / "missing" / "state.txt").string();
    EXPECT_EQ(WriteStateFile(no_dir, next).message, "cannot write state file: " + no_dir);
}

TEST_F(RollbackStateFileTest, LenientReader) {
    WriteRaw(path_,
             "keys-version\nkeys-version \nunknown 1\nkeys-version 3 x\nkeys-version 4\n"
             "manifest-counter 8\r\nmanifest-sha256  two  spaces\nkeys-sha256 tail-without-lf");
    Result<RollbackState> state = ReadStateFile(path_);
    ASSERT_TRUE(state.ok());
    ExpectState(state.value(), "3 x", "tail-without-lf", "8\r", " two  spaces");
    // A CRLF file leaves a CR in the counter, which the comparison then refuses.
    EXPECT_EQ(CheckCounter("manifest", "d", "d", "9", state.value().manifest_counter).message,
              "manifest counter is not a usable integer");

    WriteRaw(path_, "");
    Result<RollbackState> empty = ReadStateFile(path_);
    EXPECT_EQ(empty.status().code, StatusCode::BadInput);
    EXPECT_EQ(empty.status().message, "state file unreadable: " + path_);
}

TEST(CheckCounterTest, ComparesAsNumbersAndGuardsReplay) {
    const std::string label = "key registry";
    EXPECT_TRUE(CheckCounter(label, "x", "y", "garbage", "").ok());
    const Status back = CheckCounter(label, "d", "d", "4", "5");
    EXPECT_EQ(back.code, StatusCode::Rollback);
    EXPECT_EQ(back.message, "key registry counter went backwards (4 < 5) -- rollback attack");
    const Status replay = CheckCounter(label, "new", "old", "5", "5");
    EXPECT_EQ(replay.code, StatusCode::Rollback);
    EXPECT_EQ(replay.message,
              "key registry same counter (5) but different content -- counter replay");
    EXPECT_TRUE(CheckCounter(label, "d", "d", "5", "5").ok());
    EXPECT_TRUE(CheckCounter(label, "new", "old", "6", "5").ok());
    EXPECT_TRUE(CheckCounter(label, "a", "b", "10", "9").ok());
    EXPECT_EQ(CheckCounter("manifest", "a", "a", "9", "010").message,
              "manifest counter went backwards (9 < 010) -- rollback attack");
    // Same number in another spelling is the same counter.
    EXPECT_EQ(CheckCounter("manifest", "a", "b", "07", "7").message,
              "manifest same counter (07) but different content -- counter replay");
}

TEST(CheckCounterTest, SixtyFourBitLimits) {
    const std::string max = "18446744073709551615";
    const std::string beyond = "18446744073709551616";
    EXPECT_TRUE(CheckCounter("manifest", "a", "b", max, "18446744073709551614").ok());
    EXPECT_EQ(
        CheckCounter("manifest", "a", "b", "18446744073709551614", max).message,
        "manifest counter went backwards (18446744073709551614 < " + max + ") -- rollback attack");
    EXPECT_EQ(CheckCounter("manifest", "a", "b", max, max).code, StatusCode::Rollback);
    for (const auto& [fresh, stored] : {std::pair<std::string, std::string>{max, beyond},
                                        {beyond, max},
                                        {"1", "-1"},
                                        {"", "1"}}) {
        const Status s = CheckCounter("key registry", "a", "a", fresh, stored);
        EXPECT_EQ(s.code, StatusCode::Rollback) << fresh << " " << stored;
        EXPECT_EQ(s.message, "key registry counter is not a usable integer");
    }
}

TEST(CheckExpiryTest, TheExpiryInstantIsAlreadyExpired) {
    const Status at = CheckExpiry("manifest", "2024-05-01T12:00:00Z", "2024-05-01T12:00:00Z");
    EXPECT_EQ(at.code, StatusCode::Expired);
    EXPECT_EQ(at.message,
              "manifest expired (2024-05-01T12:00:00Z <= 2024-05-01T12:00:00Z) -- freeze attack");
    EXPECT_EQ(
        CheckExpiry("key registry", "2024-05-01T12:00:00Z", "2025-01-01T00:00:00Z").message,
        "key registry expired (2024-05-01T12:00:00Z <= 2025-01-01T00:00:00Z) -- freeze attack");
    EXPECT_TRUE(CheckExpiry("manifest", "2024-05-01T12:00:00Z", "2024-05-01T11:59:59Z").ok());
}

}  // namespace
}  // namespace patcher
