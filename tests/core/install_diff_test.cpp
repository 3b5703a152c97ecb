#include "core/install_diff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/manifest.h"
#include "tests/core/test_release_fixture.h"

namespace patcher {
namespace {

using test_support::FileLine;
using test_support::ManifestHeaderText;
using test_support::ManifestText;
using test_support::ScratchDir;

// "path:reason" per item, in the order ComputeDiff gave them.
std::vector<std::string> Summary(const std::vector<DiffItem>& items) {
    std::vector<std::string> out;
    for (const DiffItem& item : items) out.push_back(item.path + ":" + DiffReasonName(item.reason));
    return out;
}

class InstallDiffTest : public ::testing::Test {
  protected:
    // The release as published, and the install folder as the player's disk holds it.
    void Publish(const std::string& path, const std::string& published,
                 const std::string* on_disk) {
        lines_.push_back(FileLine(path, published));
        if (on_disk != nullptr) dir_.Write("install/" + path, *on_disk);
    }
    // The entries borrow from manifest_: one call per test.
    std::vector<FileEntry> Entries() {
        manifest_ = ManifestText(ManifestHeaderText{}, lines_);
        Result<std::vector<FileEntry>> entries = ParseManifestFiles(manifest_);
        EXPECT_TRUE(entries.ok()) << entries.status().message;
        return entries.ok() ? entries.value() : std::vector<FileEntry>{};
    }

    ScratchDir dir_{"diff"};
    std::vector<std::string> lines_;
    std::string manifest_;
};

TEST_F(InstallDiffTest, EachLevelListsWhatItCanSeeInManifestOrder) {
    const std::string same = "same bytes", other = "SAME BYTES", shorter = "short";
    Publish("data/good.bin", same, &same);
    Publish("data/recoloured.bin", same, &other);  // same size, other content
    Publish("GAME.EXE", same, &other);             // critical, listed in other letter case
    Publish("data/truncated.bin", same, &shorter);
    Publish("data/gone.bin", same, nullptr);
    Publish("garun2.cfg", same, &shorter);         // user-owned: present is enough
    Publish("mouse.cfg", same, nullptr);           // user-owned but missing
    Publish("channel.inf", same, &other);          // user-owned and critical: critical wins
    Publish("Velmor2Launcher.exe", same, &other);  // stands for the running patcher below
    dir_.Write("running/patcher.exe", same);
    const std::vector<FileEntry> entries = Entries();
    const std::vector<std::string> critical = {"game.exe", "Channel.INF", "data"};
    const std::vector<std::string> user_owned = {"garun2.cfg", "mouse.cfg", "channel.inf"};
    const DiffSelfMapping self{"Velmor2Launcher.exe", dir_.Path("running/patcher.exe")};
    const std::string install = dir_.Path("install");
    const auto diff = [&](CheckLevel level, unsigned threads = 0) {
        return Summary(ComputeDiff(entries, install, level, critical, user_owned, self, threads));
    };

    const std::vector<std::string> always = {"data/truncated.bin:size-mismatch",
                                             "data/gone.bin:missing", "mouse.cfg:missing"};
    EXPECT_EQ(diff(CheckLevel::Size), always);
    EXPECT_EQ(diff(CheckLevel::Quick),
              (std::vector<std::string>{"GAME.EXE:hash-mismatch", always[0], always[1], always[2],
                                        "channel.inf:hash-mismatch"}));
    std::vector<std::string> full = {"data/recoloured.bin:hash-mismatch", "GAME.EXE:hash-mismatch"};
    full.insert(full.end(), always.begin(), always.end());
    full.push_back("channel.inf:hash-mismatch");
    for (unsigned threads : {1u, 2u, 0u}) {
        EXPECT_EQ(diff(CheckLevel::Full, threads), full) << threads << " threads";
    }

    // Without the mapping the patcher's entry is the damaged copy in the install folder; with a
    // mapping to a damaged file it is listed as well.
    const std::vector<DiffItem> unmapped =
        ComputeDiff(entries, install, CheckLevel::Full, critical, user_owned);
    ASSERT_EQ(unmapped.size(), full.size() + 1);
    EXPECT_EQ(unmapped.back().path, "Velmor2Launcher.exe");
    EXPECT_EQ(unmapped.back().reason, DiffReason::HashMismatch);
    const DiffSelfMapping broken{"Velmor2Launcher.exe", dir_.Path("running/none.exe")};
    EXPECT_EQ(
        ComputeDiff(entries, install, CheckLevel::Size, critical, user_owned, broken).back().reason,
        DiffReason::Missing);

    // Items carry the manifest's own fields.
    const DiffItem first = ComputeDiff(entries, install, CheckLevel::Size, {}, {}).front();
    EXPECT_EQ("file " + first.path + " " + std::to_string(first.size) + " " + first.sha256 + " " +
                  first.url,
              FileLine("data/truncated.bin", same));
}

TEST_F(InstallDiffTest, ParallelHashingKeepsEveryVerdictAndTheManifestOrder) {
    const unsigned seed = std::random_device{}();
    std::printf("install diff seed: %u\n", seed);
    std::mt19937 random(seed);
    std::vector<std::string> expected;
    for (int i = 0; i < 120; ++i) {
        const std::string path = "pack/f" + std::to_string(i) + ".bin";
        std::string content(random() % 100000, 'x');
        for (char& c : content) c = static_cast<char>('a' + random() % 26);
        // One file in five each is altered, grown and left out; an empty one cannot be altered.
        std::string on_disk = content;
        const unsigned fault = random() % 5;
        if (fault == 0 && !content.empty()) on_disk.back() = on_disk.back() == 'a' ? 'b' : 'a';
        if (fault == 1) on_disk += "!";
        const char* reasons[] = {":hash-mismatch", ":size-mismatch", ":missing"};
        if (fault < 3 && (fault != 0 || !content.empty()))
            expected.push_back(path + reasons[fault]);
        Publish(path, content, fault == 2 ? nullptr : &on_disk);
    }
    const std::vector<FileEntry> entries = Entries();
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        EXPECT_EQ(Summary(ComputeDiff(entries, dir_.Path("install"), CheckLevel::Full, {}, {}, {},
                                      threads)),
                  expected)
            << threads << " threads, seed " << seed;
    }
}

// Stands in for the records: the stamp is the file's whole text, so that any change to it shows.
class TextStamps : public VerifiedFiles {
  public:
    std::optional<FileStamp> StampOf(const std::string& file) override {
        std::FILE* f = std::fopen(file.c_str(), "rb");
        if (!f) return std::nullopt;
        FileStamp stamp{0, 1, 0, 1};
        for (int c; (c = std::fgetc(f)) != EOF; ++stamp.size) {
            stamp.write_time = stamp.write_time * 31 + c;
        }
        std::fclose(f);
        return stamp;
    }
    bool Vouches(const std::string& path, const FileStamp& stamp,
                 std::string_view sha256) override {
        return records.Vouches(path, stamp, sha256);
    }
    void Verified(const std::string& path, const std::string& file, const FileStamp& before,
                  std::string_view sha256) override {
        if (StampOf(file) == before) records.Set(path, before, sha256);
    }
    VerifiedRecords records;
};

TEST_F(InstallDiffTest, ARecordThatStillHoldsSparesTheHashAndEveryMatchIsRecorded) {
    const std::string good = "good bytes", bad = "bad bytes!";
    Publish("same.bin", good, &good);
    Publish("vouched.bin", good, &bad);  // recorded below as if it had verified
    Publish("damaged.bin", good, &bad);
    const std::vector<FileEntry> entries = Entries();
    TextStamps stamps;
    stamps.records.Set("vouched.bin", *stamps.StampOf(dir_.Path("install/vouched.bin")),
                       entries[1].sha256);
    const auto diff = [&] {
        return Summary(
            ComputeDiff(entries, dir_.Path("install"), CheckLevel::Full, {}, {}, {}, 0, &stamps));
    };
    EXPECT_EQ(diff(), std::vector<std::string>{"damaged.bin:hash-mismatch"});
    EXPECT_TRUE(stamps.records.Vouches("same.bin", *stamps.StampOf(dir_.Path("install/same.bin")),
                                       entries[0].sha256));
    EXPECT_EQ(stamps.records.size(), 2u);  // the damaged file is not recorded
    // Once its stamp changes, the vouched file is read again and found out.
    dir_.Write("install/vouched.bin", "bad bytes?");
    EXPECT_EQ(diff(),
              (std::vector<std::string>{"vouched.bin:hash-mismatch", "damaged.bin:hash-mismatch"}));
}

// A size past 4 GiB must survive every build, the 32-bit ones included, where a size or offset
// narrowed to 32 bits reads this file as 1 byte long. Sparse, so it costs no disk.
TEST_F(InstallDiffTest, SizesPastFourGibibytesAreCompared) {
    dir_.Write("install/big.bin", "");
    std::error_code error;
    std::filesystem::resize_file(dir_.Path("install/big.bin"), 4294967297ull, error);
    ASSERT_FALSE(error) << error.message();

    const std::string hash(64, '0');
    const struct {
        std::uint64_t size;
        std::vector<std::string> listed;
    } cases[] = {
        {4294967297ull, {}},
        {4294967296ull, {"big.bin:size-mismatch"}},
        {1, {"big.bin:size-mismatch"}},
    };
    for (const auto& c : cases) {
        const FileEntry entry{"big.bin", c.size, hash, "https://cdn.example/r/big.bin"};
        EXPECT_EQ(Summary(ComputeDiff({entry}, dir_.Path("install"), CheckLevel::Size, {}, {})),
                  c.listed)
            << c.size;
    }
    // One byte short, so that a narrowed size fails here without hashing 4 GiB.
    const FileEntry short_entry{"big.bin", 4294967296ull, hash, "https://cdn.example/r/big.bin"};
    EXPECT_EQ(CheckInstalledFile(dir_.Path("install"), short_entry).message,
              "size mismatch: big.bin (manifest 4294967296, disk 4294967297)");
}

}  // namespace
}  // namespace patcher
