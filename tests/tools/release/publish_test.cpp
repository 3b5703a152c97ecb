#include "tools/release/publish.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "core/manifest.h"
#include "core/validate.h"
#include "tests/tools/release/test_release_tool_fixture.h"
#include "tools/release/chunk_indexes.h"
#include "tools/release/registry_document.h"

namespace patcher::release {
namespace {

using test_support::Operator;
using test_support::TempFolder;

const std::string kNow = "2025-03-01T10:00:00Z";

PublishOptions Options(const TempFolder& folder, const Operator& op, const std::string& out) {
    PublishOptions options;
    options.out = folder.Path(out);
    options.game = folder.Path("game");
    options.keys = folder.Path("keys.txt");
    options.signing_key = folder.Path("sign.pem");
    options.root_key = op.root_b64;
    options.base_url = "https://127.0.0.1:8443/live/";
    options.version = "1.0.0";
    options.channel = "live";
    options.counter = "1";
    options.expires = "2030-01-01T00:00:00Z";
    options.now = kNow;
    return options;
}

ValidateOptions ValidateRelease(const TempFolder& folder, const std::string& release,
                                const Operator& op) {
    ValidateOptions options;
    options.manifest_path = folder.Path(release + "/manifest.txt");
    options.keys_path = folder.Path(release + "/keys.txt");
    options.root_key = op.root_b64;
    options.dist = folder.Path(release + "/files");
    options.state_path = folder.Path("state.txt");
    options.now = "2025-03-02T00:00:00Z";
    return options;
}

// A refusal's code and a part of its message.
void ExpectRefused(const Status& status, StatusCode code, const std::string& part) {
    EXPECT_EQ(status.code, code) << status.message;
    EXPECT_NE(status.message.find(part), std::string::npos) << status.message;
}

TEST(Publish, ReleaseIsAcceptedByTheCoreAndTheNextOneFollowsIt) {
    TempFolder folder;
    Operator op(folder);
    folder.Write("announce.txt", "news 1\nitem\ntitle Bakim\nbody Sunucu bakimda.\n");
    folder.Write("stage.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body");
    PublishOptions options = Options(folder, op, "rel1");
    options.announce = folder.Path("announce.txt");
    options.stage = folder.Path("stage.jpg");
    PublishSummary summary;
    const Status published = Publish(options, summary);
    ASSERT_TRUE(published.ok()) << published.message;
    EXPECT_EQ(summary.signing_key_id, "live1");
    EXPECT_EQ(summary.file_count, 3);
    EXPECT_EQ(folder.Listing(),
              "announce.txt game keys.txt keys.txt.sig rel1 root.pem sign.pem stage.jpg");

    // The core accepts it, content included, and a patcher's baseline starts from it.
    ValidateReport report;
    const Status accepted = Validate(ValidateRelease(folder, "rel1", op), report);
    ASSERT_TRUE(accepted.ok()) << accepted.message;
    EXPECT_EQ(report.files_verified, 3);
    EXPECT_EQ(report.counter, "1");
    EXPECT_EQ(folder.Read("rel1/files/data/maps/a.bin"), std::string(70000, 'a'));
    EXPECT_EQ(folder.Read("rel1/announce.txt"), folder.Read("announce.txt"));

    // The next release takes its counter from the previous one, and not its announcement. That a
    // patcher holding the first accepts it is the tool scenario RoundTrip's.
    folder.Write("game/data/maps/a.bin", "changed");
    PublishOptions next = Options(folder, op, "rel2");
    next.counter.clear();
    next.previous = folder.Path("rel1");
    next.version = "1.0.1";
    ASSERT_TRUE(Publish(next, summary).ok());
    EXPECT_EQ(summary.counter, "2");
    EXPECT_FALSE(folder.Exists("rel2/announce.txt"));
}

// A web server's workers run as a user of their own: under the strictest umask every published
// folder must still be 0755 and every file 0644.
TEST(Publish, ReleaseIsReadableByEveryoneWhateverTheUmask) {
    TempFolder folder;
    Operator op(folder);
    folder.Write("announce.txt", "news 1\nitem\ntitle Bakim\nbody Sunucu bakimda.\n");
    PublishOptions options = Options(folder, op, "rel");
    options.announce = folder.Path("announce.txt");
    const mode_t previous = ::umask(077);
    PublishSummary summary;
    const Status published = Publish(options, summary);
    ::umask(previous);
    ASSERT_TRUE(published.ok()) << published.message;

    namespace fs = std::filesystem;
    const auto mode = [](const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    };
    EXPECT_EQ(mode(options.out), 0755u);
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(options.out)) {
        EXPECT_EQ(mode(entry.path()), entry.is_directory() ? 0755u : 0644u) << entry.path();
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 9);  // keys, manifest and announcement with their signatures, 3 game files
}

// Every refusal leaves the folder as it was: no release, no working folder beside it.
TEST(Publish, RefusalsLeaveNothingBehind) {
    struct Case {
        std::string name;
        std::function<void(TempFolder&, const Operator&, PublishOptions&)> setup;
        StatusCode code;
        std::string message_part;
    };
    const std::vector<Case> cases = {
        {"reserved path",
         [](TempFolder& f, const Operator&, PublishOptions&) { f.Write("game/aux.cfg", "x"); },
         StatusCode::BadInput, "refusing aux.cfg: path contains a name Windows reserves"},
        {"out exists",
         [](TempFolder& f, const Operator&, PublishOptions& o) {
             f.Write("rel/keep", "x");
             o.out = f.Path("rel");
         },
         StatusCode::BadInput, "exists; a release is never overwritten"},
        {"expired manifest",
         [](TempFolder&, const Operator&, PublishOptions& o) {
             o.created = "2024-01-01T00:00:00Z";
             o.expires = kNow;
         },
         StatusCode::BadInput, "the patcher would refuse the manifest as expired"},
        {"expired registry",
         [](TempFolder&, const Operator&, PublishOptions& o) {
             o.now = "2031-06-01T00:00:00Z";
             o.expires = "2032-01-01T00:00:00Z";
         },
         StatusCode::Expired, "the patcher would refuse this release: key registry expired"},
        {"key not in registry",
         [](TempFolder&, const Operator&, PublishOptions& o) {
             o.signing_key = o.out.substr(0, o.out.rfind('/')) + "/root.pem";
         },
         StatusCode::BadInput, "is not listed in"},
        {"news over the cap",
         [](TempFolder& f, const Operator&, PublishOptions& o) {
             f.Write("big.txt", std::string(16385, 'n'));
             o.updates = f.Path("big.txt");
         },
         StatusCode::BadFormat, "news document is larger than the cap (16385 bytes)"},
        {"stage not a jpeg",
         [](TempFolder& f, const Operator&, PublishOptions& o) {
             f.Write("stage.png", "\x89PNG");
             o.stage = f.Path("stage.png");
         },
         StatusCode::BadInput, "is not a JPEG picture"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        TempFolder folder;
        Operator op(folder);
        PublishOptions options = Options(folder, op, "rel");
        test.setup(folder, op, options);
        const std::string before = folder.Listing();
        PublishSummary summary;
        ExpectRefused(Publish(options, summary), test.code, test.message_part);
        EXPECT_EQ(folder.Listing(), before);
    }
}

TEST(Publish, RefusesACounterOrRegistryThatAPatcherOfThePreviousReleaseWouldRefuse) {
    TempFolder folder;
    Operator op(folder);
    PublishSummary summary;
    PublishOptions first = Options(folder, op, "rel1");
    first.counter = "5";
    ASSERT_TRUE(Publish(first, summary).ok());

    PublishOptions same = Options(folder, op, "rel2");
    same.previous = folder.Path("rel1");
    same.counter = "5";
    ExpectRefused(Publish(same, summary), StatusCode::BadInput,
                  "--counter 5 is not above the previous release's 5");

    // A different registry under the same version is a replay for every patcher that saw the
    // first; only the core's rollback check knows, and publish runs it.
    Result<RegistryDraft> draft = ParseRegistryDraft(folder.Read("keys.txt"));
    ASSERT_TRUE(draft.ok());
    draft.value().expires = "2031-02-01T00:00:00Z";
    const std::string text = RenderRegistry(draft.value()).value();
    folder.Write("keys.txt", text);
    folder.Write("keys.txt.sig", op.root.Sign(text).value());
    PublishOptions replay = Options(folder, op, "rel2");
    replay.previous = folder.Path("rel1");
    replay.counter.clear();
    ExpectRefused(Publish(replay, summary), StatusCode::Rollback,
                  "key registry same counter (1) but different content");
    EXPECT_FALSE(folder.Exists("rel2"));
}

// Large files are served with the chunk index their bytes give; small ones are fetched whole.
TEST(Publish, LargeFilesGetTheirChunkIndexAndTheCheckNoticesATamperedOne) {
    TempFolder folder;
    Operator op(folder);
    std::string pak(1048576, '\0');
    for (std::size_t i = 0; i < pak.size(); ++i)
        pak[i] = static_cast<char>((i * 2654435761u) >> 13);
    folder.Write("game/data/world.pak", pak);
    PublishSummary summary;
    const Status published = Publish(Options(folder, op, "rel"), summary);
    ASSERT_TRUE(published.ok()) << published.message;
    EXPECT_EQ(summary.chunk_indexes, 1);
    const std::string pak_path = folder.Path("rel/files/data/world.pak");
    EXPECT_TRUE(CheckChunkIndex(pak_path).ok());
    EXPECT_EQ(CheckChunkIndex(folder.Path("rel/files/data/maps/a.bin")).code, StatusCode::BadInput);

    std::string index = folder.Read("rel/files/data/world.pak.chunks");
    index[index.size() - 1] ^= 1;
    folder.Write("rel/files/data/world.pak.chunks", index);
    EXPECT_EQ(CheckChunkIndex(pak_path).code, StatusCode::BadFormat);
}

}  // namespace
}  // namespace patcher::release
