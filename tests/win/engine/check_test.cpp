// The check over real files with release sets the test signs itself. The release server is never
// contacted: these cases run offline. The first start, the network paths and the rollback guard of
// a rebuilt state are covered by the end-to-end scenarios against a local HTTPS server.
#include "win/engine/check.h"

#include <gtest/gtest.h>

#include "tests/core/test_release_fixture.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

using test_support::FileLine;
using test_support::KeyRegistryText;
using test_support::ManifestHeaderText;
using test_support::ManifestText;
using test_support::PublicKeyBase64;
using test_support::ScratchDir;
using test_support::SignFile;
using test_support::SigningKeyFor;

class CheckTest : public ::testing::Test {
  protected:
    CheckTest() : dir_("check") {
        config_.data_directory = Utf8ToWide(dir_.Path("data"));
        config_.install_directory = Utf8ToWide(dir_.Path("game"));
        config_.root_key = PublicKeyBase64(root_.public_key);
        config_.game_executable = L"Velmor2.exe";
        config_.offline = true;
        config_.now = "2026-06-01T00:00:00Z";
    }

    // Writes a signed set into data/current and marks it complete.
    void InstallAcceptedSet(const std::string& counter, const std::vector<std::string>& lines) {
        dir_.Write("data/current/keys.txt",
                   KeyRegistryText("3", "2030-01-01T00:00:00Z",
                                   {{"release-1", false, signer_.public_key}}));
        SignFile(dir_, "data/current/keys.txt", root_);
        ManifestHeaderText header;
        header.counter = counter;
        dir_.Write("data/current/manifest.txt", ManifestText(header, lines));
        SignFile(dir_, "data/current/manifest.txt", signer_);
        dir_.Write("data/current/complete.txt", "ok\n");
    }

    CheckOutcome Run() {
        CheckOutcome outcome;
        RunCheck(config_, outcome);
        return outcome;
    }

    ScratchDir dir_;
    const test_support::TestSigningKey root_ = SigningKeyFor("check root");
    const test_support::TestSigningKey signer_ = SigningKeyFor("check signer");
    PatcherConfig config_;
};

TEST_F(CheckTest, OfflineWithAnAcceptedSetComparesTheDisk) {
    dir_.Write("game/Velmor2.exe", "game");
    dir_.Write("game/data/a.pak", "old!");  // right size, wrong content
    InstallAcceptedSet("7", {FileLine("Velmor2.exe", "game"), FileLine("data/a.pak", "new!"),
                             FileLine("data/b.pak", "bbbbbb"),
                             FileLine("Velmor2Launcher.exe", "a newer patcher")});
    const CheckOutcome outcome = Run();
    // The source, the launch verdict and the diagnostic are test_check.py's offline scenario.
    ASSERT_EQ(outcome.code, StatusCode::Ok) << outcome.diagnostic;
    EXPECT_EQ(outcome.version, "1.4.2");
    EXPECT_EQ(outcome.files, 4u);
    ASSERT_EQ(outcome.diff.size(), 3u);
    EXPECT_EQ(outcome.diff[0].path, "data/a.pak");
    EXPECT_EQ(outcome.diff[0].reason, DiffReason::HashMismatch);
    EXPECT_EQ(outcome.diff[1].reason, DiffReason::Missing);
    // The patcher entry is compared with the running executable, not a copy in the game folder.
    EXPECT_EQ(outcome.diff[2].path, "Velmor2Launcher.exe");
    EXPECT_EQ(outcome.diff[2].reason, DiffReason::SizeMismatch);
    EXPECT_TRUE(outcome.self_update);
    EXPECT_EQ(outcome.self_update_sha256, outcome.diff[2].sha256);
    EXPECT_EQ(outcome.download_bytes, 4u + 6u + 15u);
    EXPECT_TRUE(outcome.game_exe_in_manifest);
    EXPECT_TRUE(outcome.game_exe_on_disk);
    EXPECT_TRUE(outcome.state_rebuilt);  // there was no state file yet
}

TEST_F(CheckTest, StateCannotBeRebuiltFromAnUnverifiableSet) {
    InstallAcceptedSet("7", {FileLine("Velmor2.exe", "game")});
    config_.root_key = PublicKeyBase64(signer_.public_key);  // not the key that signed keys.txt
    const CheckOutcome outcome = Run();
    EXPECT_EQ(outcome.code, StatusCode::BadSignature);
    EXPECT_EQ(outcome.diagnostic.rfind("the state file is missing and the installed metadata it "
                                       "would be rebuilt from does not verify: ",
                                       0),
              0u)
        << outcome.diagnostic;
    EXPECT_FALSE(outcome.may_launch);
    EXPECT_FALSE(dir_.Exists("data/state.txt"));
}

TEST_F(CheckTest, GameExecutableOnlyInASubfolderStillAllowsLaunch) {
    config_.game_executable = L"bin\\Game.EXE";
    InstallAcceptedSet("7", {FileLine("old/game.exe", "x"), FileLine("readme.txt", "y")});
    const CheckOutcome outcome = Run();
    EXPECT_EQ(outcome.code, StatusCode::Ok);
    EXPECT_FALSE(outcome.game_exe_in_manifest);
    EXPECT_EQ(outcome.game_exe_same_name_path, "old/game.exe");
    EXPECT_TRUE(outcome.may_launch);
}

TEST_F(CheckTest, ExpectedVersionMismatchRefusesTheSet) {
    InstallAcceptedSet("7", {FileLine("Velmor2.exe", "game")});
    config_.expected_version = "01.4.2";
    const CheckOutcome outcome = Run();
    EXPECT_EQ(outcome.code, StatusCode::BadInput);
    EXPECT_EQ(outcome.diagnostic, "manifest version (1.4.2) is not the expected version (01.4.2)");
    EXPECT_EQ(outcome.version, "1.4.2");  // the report is filled as far as validation got
}

}  // namespace
}  // namespace patcher::win
