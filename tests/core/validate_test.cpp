#include "core/validate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "core/signature.h"
#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

using test_support::ExpectStatus;
using test_support::FileLine;
using test_support::KeyRegistryText;
using test_support::ManifestHeaderText;
using test_support::ManifestText;
using test_support::PublicKeyBase64;
using test_support::RegistryKey;
using test_support::ScratchDir;
using test_support::SignFile;
using test_support::SigningKeyFor;
using test_support::TestSigningKey;

constexpr char kNow[] = "2025-03-01T10:00:00Z";
constexpr char kRollbackNote[] = "rollback check NOT MEASURED: no state file given (--state)";
constexpr char kContentNote[] = "content hashes NOT MEASURED: no install directory given (--dist)";
constexpr char kRegistryNotVerified[] =
    "key registry signature did not verify with the expected key (broken signature or wrong role "
    "key)";

// One release in a scratch folder: keys.txt and manifest.txt with their signatures, an install
// folder `dist` matching the manifest, and state.txt beside them once a run has written it.
class ValidateTest : public ::testing::Test {
  protected:
    ValidateTest() : dir_("validate") {
        files_ = {{"data/a.bin", "alpha"}, {"data/b.bin", "bravo-bravo"}, {"game.exe", "MZ game"}};
        for (const auto& [path, content] : files_) dir_.Write("dist/" + path, content);
        PublishRegistry("3", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
        PublishManifest(ManifestHeaderText{});
    }

    void PublishRegistry(const std::string& version, const std::string& expires,
                         const std::vector<RegistryKey>& keys) {
        PublishRegistryText(KeyRegistryText(version, expires, keys));
    }
    void PublishRegistryText(const std::string& text) {
        dir_.Write("keys.txt", text);
        SignFile(dir_, "keys.txt", root_);
    }
    std::vector<std::string> FileLines() const {
        std::vector<std::string> lines;
        for (const auto& [path, content] : files_) lines.push_back(FileLine(path, content));
        return lines;
    }
    void PublishManifest(const ManifestHeaderText& header) {
        PublishManifestText(ManifestText(header, FileLines()), release_);
    }
    void PublishManifestText(const std::string& text, const TestSigningKey& signer) {
        dir_.Write("manifest.txt", text);
        SignFile(dir_, "manifest.txt", signer);
    }

    ValidateOptions Options() const {
        ValidateOptions options;
        options.manifest_path = dir_.Path("manifest.txt");
        options.keys_path = dir_.Path("keys.txt");
        options.root_key = PublicKeyBase64(root_.public_key);
        options.state_path = dir_.Path("state.txt");
        options.dist = dir_.Path("dist");
        options.now = kNow;
        return options;
    }

    Status Run(const ValidateOptions& options) { return Validate(options, report_); }

    void ExpectFailure(const ValidateOptions& options, StatusCode code,
                       const std::string& message) {
        ExpectStatus(Run(options), code, message);
    }
    Status Rebuild(RollbackState& state, const std::string& manifest = "manifest.txt") const {
        return RebuildBaseline(dir_.Path("keys.txt"), manifest.empty() ? "" : dir_.Path(manifest),
                               PublicKeyBase64(root_.public_key), state);
    }

    ScratchDir dir_;
    TestSigningKey root_ = SigningKeyFor("root");
    TestSigningKey release_ = SigningKeyFor("release-2024");
    TestSigningKey next_ = SigningKeyFor("release-2025");
    std::vector<std::pair<std::string, std::string>> files_;
    ValidateReport report_;
};

TEST_F(ValidateTest, AcceptsAReleaseFillsTheReportAndMovesTheBaseline) {
    ValidateOptions options = Options();
    options.with_diff = true;
    const Status status = Run(options);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(report_.version, "1.4.2");
    EXPECT_EQ(report_.channel, "live");
    EXPECT_EQ(report_.counter, "7");
    EXPECT_EQ(report_.signing_key_id, "rel-2024");
    EXPECT_EQ(report_.file_count, 3);
    EXPECT_EQ(report_.files_verified, 3);
    EXPECT_FALSE(report_.rollback_checked);  // no baseline existed yet
    EXPECT_TRUE(report_.content_checked);
    EXPECT_TRUE(report_.diff.empty());
    EXPECT_TRUE(report_.notes.empty());
    EXPECT_EQ(dir_.Read("state.txt"), "keys-version 3\nkeys-sha256 " +
                                          Sha256Hex(dir_.Read("keys.txt")) +
                                          "\nmanifest-counter 7\nmanifest-sha256 " +
                                          Sha256Hex(dir_.Read("manifest.txt")) + "\n");

    // The same documents again: equal counters with equal digests are a re-delivery, not a replay.
    ASSERT_TRUE(Run(Options()).ok());
    EXPECT_TRUE(report_.rollback_checked);

    PublishRegistry("4", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    ManifestHeaderText newer;
    newer.counter = "10";  // compared as a number: 10 follows 7 and 9
    PublishManifest(newer);
    ASSERT_TRUE(Run(Options()).ok());
    EXPECT_NE(dir_.Read("state.txt").find("keys-version 4\n"), std::string::npos);
    EXPECT_NE(dir_.Read("state.txt").find("manifest-counter 10\n"), std::string::npos);
}

TEST_F(ValidateTest, NotesNameTheChecksThatWereNotMeasured) {
    ValidateOptions options = Options();
    options.state_path.clear();
    options.dist.clear();
    ASSERT_TRUE(Run(options).ok());
    EXPECT_EQ(report_.notes, (std::vector<std::string>{kRollbackNote, kContentNote}));
    EXPECT_EQ(report_.file_count, 3);
    EXPECT_EQ(report_.files_verified, 0);
    EXPECT_FALSE(report_.content_checked);
    EXPECT_FALSE(dir_.Exists("state.txt"));

    options.dist = dir_.Path("dist");
    ASSERT_TRUE(Run(options).ok());
    EXPECT_EQ(report_.notes, std::vector<std::string>{kRollbackNote});
}

TEST_F(ValidateTest, InputsAreCheckedBeforeAnyDocumentIsRead) {
    ValidateOptions options = Options();
    options.manifest_path.clear();
    options.keys_path.clear();
    ExpectFailure(options, StatusCode::BadInput, "--manifest is required");
    options = Options();
    options.keys_path.clear();
    options.root_key.clear();
    ExpectFailure(options, StatusCode::BadInput, "--keys is required");
    options = Options();
    options.root_key.clear();
    ExpectFailure(options, StatusCode::BadInput, "a root public key is required");

    options = Options();
    options.manifest_path = dir_.Path("nowhere/manifest.txt");
    options.keys_path = dir_.Path("nowhere/keys.txt");
    ExpectFailure(options, StatusCode::BadInput, "manifest not found: " + options.manifest_path);
    options = Options();
    options.keys_path = dir_.Path("nowhere/keys.txt");
    ExpectFailure(options, StatusCode::BadInput, "key registry not found: " + options.keys_path);

    // An oversized registry is refused only after the time has been found usable.
    dir_.Write("keys.txt", std::string(1048577, 'k'));
    options = Options();
    options.now = "2025-03-01 10:00:00Z";
    ExpectFailure(options, StatusCode::BadInput,
                  "--now must be fixed-width ISO8601-UTC (YYYY-MM-DDTHH:MM:SSZ): "
                  "2025-03-01 10:00:00Z");
    ExpectFailure(Options(), StatusCode::BadFormat,
                  "key registry exceeds the 1 MB cap (1048577 bytes) -- not parsed");
    PublishRegistry("3", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    dir_.Write("manifest.txt", "");
    ExpectFailure(Options(), StatusCode::BadFormat, "manifest is empty");
    EXPECT_FALSE(dir_.Exists("state.txt"));
}

TEST_F(ValidateTest, SignaturesAreCheckedInOrderBeforeAnythingIsParsed) {
    ValidateOptions options = Options();
    options.root_key = "# root\n";
    dir_.Remove("keys.txt.sig");
    ExpectFailure(options, StatusCode::BadInput, "root public key is empty");

    // The manifest's missing signature is found before the registry's is checked.
    dir_.Remove("manifest.txt.sig");
    const std::string manifest_sig = dir_.Path("manifest.txt") + ".sig";
    ExpectFailure(Options(), StatusCode::BadSignature,
                  dir_.Path("keys.txt") + ".sig is missing -- unsigned input is not accepted");
    SignFile(dir_, "keys.txt", release_);  // a registry signed by a registry key, not the root
    ExpectFailure(Options(), StatusCode::BadSignature,
                  manifest_sig + " is missing -- unsigned input is not accepted");
    SignFile(dir_, "manifest.txt", release_);
    ExpectFailure(Options(), StatusCode::BadSignature, kRegistryNotVerified);

    // A signed registry breaking the line rules is refused by the format check; the same text
    // altered after signing is refused by the signature before its format is looked at.
    PublishRegistryText("version 3\r\nexpires 2030-06-01T00:00:00Z\nkey a valid " +
                        PublicKeyBase64(release_.public_key) + "\n");
    ExpectFailure(Options(), StatusCode::BadFormat, "key registry is not LF-only (CR found)");
    dir_.Write("keys.txt", dir_.Read("keys.txt") + "extra\n");
    ExpectFailure(Options(), StatusCode::BadSignature, kRegistryNotVerified);
}

TEST_F(ValidateTest, ExpiryStartsAtTheExpiryInstantAndPrecedesTheKeyLines) {
    PublishRegistryText("version 3\nexpires " + std::string(kNow) + "\nkey bad/id valid " +
                        PublicKeyBase64(release_.public_key) + "\n");
    ExpectFailure(Options(), StatusCode::Expired,
                  "key registry expired (2025-03-01T10:00:00Z <= 2025-03-01T10:00:00Z) -- freeze "
                  "attack");
    ValidateOptions options = Options();
    options.now = "2025-03-01T09:59:59Z";
    ExpectFailure(options, StatusCode::BadFormat,
                  "key id outside the allowed character set: bad/id");

    PublishRegistry("3", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    ManifestHeaderText header;
    header.expires = kNow;
    PublishManifest(header);
    ExpectFailure(Options(), StatusCode::Expired,
                  "manifest expired (2025-03-01T10:00:00Z <= 2025-03-01T10:00:00Z) -- freeze "
                  "attack");
    // The header had been read by then, and is there for the caller's log.
    EXPECT_EQ(report_.version, "1.4.2");
    EXPECT_EQ(report_.counter, "7");
    EXPECT_EQ(report_.signing_key_id, "rel-2024");
    ASSERT_TRUE(Run(options).ok());
}

TEST_F(ValidateTest, RollbackAndReplayAreRefusedAndLeaveTheBaselineAlone) {
    ASSERT_TRUE(Run(Options()).ok());
    const std::string baseline = dir_.Read("state.txt");
    const auto expect_refused = [&](const std::string& message) {
        ExpectFailure(Options(), StatusCode::Rollback, message);
        EXPECT_EQ(dir_.Read("state.txt"), baseline);
    };

    PublishRegistry("2", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    expect_refused("key registry counter went backwards (2 < 3) -- rollback attack");
    PublishRegistry("3", "2030-07-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    expect_refused("key registry same counter (3) but different content -- counter replay");

    PublishRegistry("3", "2030-06-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    ManifestHeaderText header;
    header.counter = "6";
    PublishManifest(header);
    expect_refused("manifest counter went backwards (6 < 7) -- rollback attack");
    EXPECT_TRUE(report_.rollback_checked);  // the registry's comparison had passed
    header.counter = "7";
    header.created = "2024-05-02T12:00:00Z";
    PublishManifest(header);
    expect_refused("manifest same counter (7) but different content -- counter replay");

    dir_.Write("state.txt", "keys-version 3\r\n");
    ExpectFailure(Options(), StatusCode::Rollback, "key registry counter is not a usable integer");
    dir_.Write("state.txt", "");
    ExpectFailure(Options(), StatusCode::BadInput,
                  "state file unreadable: " + dir_.Path("state.txt"));
}

TEST_F(ValidateTest, TheFirstRegistryKeyThatVerifiesDecidesEvenWhenRevoked) {
    const std::string manifest = dir_.Read("manifest.txt");
    PublishRegistry("3", "2030-06-01T00:00:00Z",
                    {{"other", false, next_.public_key},
                     {"rel-2024", true, release_.public_key},
                     {"rel-2024-again", false, release_.public_key}});
    ExpectFailure(Options(), StatusCode::RevokedKey,
                  "manifest was signed with a REVOKED key: rel-2024");
    EXPECT_TRUE(report_.signing_key_id.empty());

    // The rebuild skips revoked entries and takes the valid duplicate.
    RollbackState state;
    const Status rebuilt = Rebuild(state);
    ASSERT_TRUE(rebuilt.ok()) << rebuilt.message;
    EXPECT_EQ(state.keys_version, "3");
    EXPECT_EQ(state.keys_sha256, Sha256Hex(dir_.Read("keys.txt")));
    EXPECT_EQ(state.manifest_counter, "7");
    EXPECT_EQ(state.manifest_sha256, Sha256Hex(manifest));
    EXPECT_TRUE(state.present);

    PublishRegistry("3", "2030-06-01T00:00:00Z",
                    {{"other", false, next_.public_key}, {"rel-2024", true, release_.public_key}});
    RollbackState untouched;
    ExpectStatus(Rebuild(untouched), StatusCode::BadSignature,
                 "the installed manifest does not verify with any non-revoked registry key");
    EXPECT_FALSE(untouched.present);

    PublishRegistry("3", "2030-06-01T00:00:00Z",
                    {{"a", false, release_.public_key}, {"b", false, release_.public_key}});
    ASSERT_TRUE(Run(Options()).ok());
    EXPECT_EQ(report_.signing_key_id, "a");
}

TEST_F(ValidateTest, AManifestBreakingTheLineRulesIsRefusedAfterItsSignatureVerified) {
    std::string text = ManifestText(ManifestHeaderText{}, FileLines());
    text.replace(text.find("channel live"), 12, "channel  live");
    PublishManifestText(text, release_);
    ExpectFailure(Options(), StatusCode::BadFormat,
                  "manifest format: double space (the field separator is one space)");
    EXPECT_EQ(report_.signing_key_id, "rel-2024");
    EXPECT_TRUE(report_.version.empty());
}

TEST_F(ValidateTest, ContentCheckStopsAtTheFirstDamagedFileInManifestOrder) {
    dir_.Write("dist/data/b.bin", "BRAVO-BRAVO");  // same size, other bytes
    dir_.Remove("dist/game.exe");
    ExpectFailure(Options(), StatusCode::ContentMismatch, "sha256 mismatch: data/b.bin");
    EXPECT_EQ(report_.files_verified, 1);
    EXPECT_EQ(report_.file_count, 0);
    EXPECT_FALSE(report_.content_checked);
    EXPECT_EQ(report_.version, "1.4.2");
    EXPECT_FALSE(dir_.Exists("state.txt"));

    dir_.Write("dist/data/b.bin", "bravo");
    ExpectFailure(Options(), StatusCode::ContentMismatch,
                  "size mismatch: data/b.bin (manifest 11, disk 5)");
    dir_.Remove("dist/data/a.bin");
    ExpectFailure(Options(), StatusCode::ContentMismatch,
                  "file listed in the manifest is missing on disk: data/a.bin");
    EXPECT_EQ(report_.files_verified, 0);

    // A bad line after the damage is never reached; one before it is.
    std::vector<std::string> lines = FileLines();
    lines.push_back("file ../escape 1 " + std::string(64, 'a') + " u");
    PublishManifestText(ManifestText(ManifestHeaderText{}, lines), release_);
    ExpectFailure(Options(), StatusCode::ContentMismatch,
                  "file listed in the manifest is missing on disk: data/a.bin");
    lines.insert(lines.begin(), lines.back());
    PublishManifestText(ManifestText(ManifestHeaderText{}, lines), release_);
    ExpectFailure(Options(), StatusCode::BadFormat,
                  "path contains '..' (write outside the install directory): ../escape");
}

TEST_F(ValidateTest, ExpectedVersionIsComparedAsTextAfterTheDiffAndBeforeTheBaseline) {
    ManifestHeaderText header;
    header.version = "01.2.3";
    PublishManifest(header);
    ValidateOptions options = Options();
    options.expect_version = "1.2.3";
    options.dist.clear();
    options.with_diff = true;
    options.level = CheckLevel::Size;
    // Without an install folder the diff looks at paths relative to the working directory.
    const std::filesystem::path previous = std::filesystem::current_path();
    dir_.Write("dist/data/b.bin", "short");
    std::filesystem::current_path(dir_.Path("dist"));
    const Status status = Run(options);
    std::filesystem::current_path(previous);
    ExpectStatus(status, StatusCode::BadInput,
                 "manifest version (01.2.3) is not the expected version (1.2.3)");
    ASSERT_EQ(report_.diff.size(), 1u);
    EXPECT_EQ(report_.diff[0].path, "data/b.bin");
    EXPECT_EQ(report_.diff[0].reason, DiffReason::SizeMismatch);
    EXPECT_FALSE(dir_.Exists("state.txt"));

    options = Options();
    options.state_path = dir_.Path("no-such-folder/state.txt");
    options.dist.clear();
    ExpectFailure(options, StatusCode::BadInput, "cannot write state file: " + options.state_path);
}

TEST_F(ValidateTest, RebuildBaselineNeedsItsInputsButNotAFreshRelease) {
    RollbackState state;
    ExpectStatus(Rebuild(state, ""), StatusCode::BadInput,
                 "installed metadata paths and a root public key are required to rebuild the "
                 "rollback baseline");
    EXPECT_EQ(Rebuild(state, "gone.txt").message,
              "installed metadata is not on disk; no rollback baseline can be rebuilt");

    // Expired documents still describe what was accepted; the rebuild does not judge time.
    PublishRegistry("3", "2020-01-01T00:00:00Z", {{"rel-2024", false, release_.public_key}});
    ManifestHeaderText header;
    header.expires = "2020-01-01T00:00:00Z";
    PublishManifest(header);
    const Status status = Rebuild(state);
    ASSERT_TRUE(status.ok()) << status.message;
    EXPECT_EQ(state.manifest_counter, "7");

    SignFile(dir_, "keys.txt", release_);
    EXPECT_EQ(Rebuild(state).code, StatusCode::BadSignature);
}

}  // namespace
}  // namespace patcher
