#include "core/release_shards.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "tests/core/test_status.h"

namespace patcher {
namespace {

const std::string kSha = std::string(64, 'a');

std::string FileLine(const std::string& path, const std::string& size = "10") {
    return "file " + path + " " + size + " " + kSha + " https://cdn.example/" + path + "\n";
}

// A release served from memory: shards by SHA-256, and the manifest lines that name them.
struct Served {
    std::map<std::string, std::string> shards;
    std::string lines;

    // Listed as the tool lists it: a shard that encodes a name is a `shard-utf8`.
    void Add(const std::string& text, std::string kind = "") {
        if (kind.empty()) kind = text.find('%') != std::string::npos ? "shard-utf8" : "shard";
        const std::string sha = Sha256Hex(text);
        shards[sha] = text;
        lines += kind + " " + std::to_string(text.size()) + " " + sha + " https://cdn.example/" +
                 sha + ".txt\n";
    }
    ShardLoader Loader() {
        return [this](const ShardEntry& shard) -> Result<std::string> {
            auto found = shards.find(std::string(shard.sha256));
            if (found == shards.end()) return Status(StatusCode::BadInput, "fetch failed");
            return found->second;
        };
    }
};

Status Load(const std::string& manifest, Served& served, ReleaseFiles& release) {
    return LoadReleaseFiles(manifest, served.Loader(), {}, release);
}

TEST(ReleaseShardsTest, TheReleaseIsTheManifestsFilesThenEachShardsInOrder) {
    Served served;
    served.Add(FileLine("data/b.pak") + "note lines of other kinds are ignored\n");
    served.Add(FileLine("data/a.pak") + FileLine("data/c%20%C3%A7.pak"));
    const std::string manifest = "version 1.0.0\n" + FileLine("Velmor2Launcher.exe") + served.lines;
    ReleaseFiles loaded;
    ASSERT_TRUE(Load(manifest, served, loaded).ok());
    // Decoded paths are short enough to sit inside a string: moving the record must not move them.
    const ReleaseFiles release = std::move(loaded);
    std::vector<std::string> paths;
    for (const FileEntry& file : release.files) paths.emplace_back(file.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"Velmor2Launcher.exe", "data/b.pak", "data/a.pak",
                                               "data/c ç.pak"}));
    // Only shard-utf8 shards decode: plain shards keep the rule that patchers from before them
    // know, the manifest's own lines' (ManifestPathTest).
    Served plain;
    plain.Add(FileLine("a%20b"), "shard");
    ReleaseFiles refused;
    EXPECT_EQ(Load(FileLine("Velmor2Launcher.exe") + plain.lines, plain, refused).code,
              StatusCode::BadFormat);
    EXPECT_EQ(release.shard_count, 2u);
    // A manifest of shards only is a manifest; one of neither is ManifestFilesTest's refusal.
    EXPECT_TRUE(ParseManifestFiles(served.lines).ok());
}

TEST(ReleaseShardsTest, EveryShardIsHeldToItsSignedLineAndTheUnionToTheReleaseRules) {
    struct Case {
        const char* name;
        std::vector<std::string> shards;  // texts, served as listed
        std::string tamper;               // replaces the first shard's served bytes
        StatusCode code;
        std::string says;
    };
    const StatusCode format = StatusCode::BadFormat, sig = StatusCode::BadSignature;
    const std::vector<Case> cases = {
        {"changed bytes", {FileLine("a")}, FileLine("b"), sig, "its line in the signed manifest"},
        {"other size", {FileLine("a")}, FileLine("a") + FileLine("b"), sig, "its line"},
        {"same path in two shards, other case",
         {FileLine("Data/X.pak"), FileLine("data/x.PAK")},
         "",
         format,
         "Data/X.pak and data/x.PAK"},
        {"repeats the manifest's own file", {FileLine("velmor2launcher.EXE")}, "", format, "twice"},
        {"nested shard", {FileLine("a") + "shard 1 " + kSha + " u\n"}, "", format, "do not nest"},
        {"no file line", {"note nothing\n"}, "", format, "no 'file' line"},
        {"line rules", {FileLine("a") + "x\r\n"}, "", format, "CR found"},
        {"path rules", {FileLine("../evil")}, "", format, "contains '..'"},
        {"Windows name rules, decoded", {FileLine("a%20")}, "", format, "a dot or a space"},
        {"same name under Windows' case rule",
         {FileLine("%C3%87ay.txt"), FileLine("%C3%A7AY.TXT")},
         "",
         format,
         "Çay.txt and çAY.TXT"},
        {"over 1 TiB",
         {FileLine("a", "549755813888") + FileLine("b", "549755813889")},
         "",
         format,
         "more than 1099511627776 bytes"},
    };
    for (const Case& c : cases) {
        Served served;
        for (const std::string& text : c.shards) served.Add(text);
        if (!c.tamper.empty()) served.shards.begin()->second = c.tamper;
        ReleaseFiles release;
        const Status status = Load(FileLine("Velmor2Launcher.exe") + served.lines, served, release);
        EXPECT_EQ(status.code, c.code) << c.name << ": " << status.message;
        EXPECT_NE(status.message.find(c.says), std::string::npos)
            << c.name << ": " << status.message;
    }
}

TEST(ReleaseShardsTest, AShardThatCannotBeHadFailsWithTheLoadersOwnStatus) {
    Served served;
    served.Add(FileLine("a"));
    served.shards.clear();
    ReleaseFiles release;
    test_support::ExpectStatus(Load(served.lines, served, release), StatusCode::BadInput,
                               "fetch failed");
}

TEST(ReleaseShardsTest, ShardLinesAndTheirCaps) {
    const std::string tail = " " + kSha + " https://cdn.example/s.txt\n";
    for (const std::string& bad :
         {"shard 10 " + kSha + "\n", "shard 0" + tail, "shard 1048577" + tail, "shard x" + tail,
          "shard 10 " + std::string(64, 'A') + " https://cdn.example/s.txt\n"}) {
        const std::string text = bad;
        EXPECT_EQ(ParseManifestShards(text).status().code, StatusCode::BadFormat) << bad;
    }
    std::string many;
    for (std::size_t i = 0; i <= kMaxShards; ++i) many += "shard 10" + tail;
    EXPECT_NE(ParseManifestShards(many).status().message.find("more than 1024 shards"),
              std::string::npos);
    std::string heavy;
    for (int i = 0; i < 65; ++i) heavy += "shard 1048576" + tail;
    EXPECT_NE(ParseManifestShards(heavy).status().message.find("bytes of shards"),
              std::string::npos);

    const std::string path = "a";
    const std::vector<FileEntry> files(kMaxReleaseFiles + 1, FileEntry{path, 1, kSha, "u"});
    EXPECT_NE(CheckReleaseFiles(files).message.find("more than 262144 files"), std::string::npos);
}

}  // namespace
}  // namespace patcher
