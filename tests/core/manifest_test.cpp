#include "core/manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace patcher {
namespace {

const std::string kSha = std::string(32, '0') + std::string(32, 'f');

void ExpectBadFormat(const Status& s, const std::string& message) {
    EXPECT_EQ(s.code, StatusCode::BadFormat) << s.message;
    EXPECT_EQ(s.message, message);
}

std::string Header(const std::string& version = "1.2.3", const std::string& channel = "live",
                   const std::string& counter = "42",
                   const std::string& created = "2024-01-01T00:00:00Z",
                   const std::string& expires = "2030-01-01T00:00:00Z") {
    return "version " + version + "\nchannel " + channel + "\ncounter " + counter + "\ncreated " +
           created + "\nexpires " + expires + "\n";
}

std::string FileLine(const std::string& path, const std::string& size = "10",
                     const std::string& sha = kSha) {
    return "file " + path + " " + size + " " + sha + " https://cdn.example/" + path + "\n";
}

std::string Unterminated(const std::string& line) {
    return line.substr(0, line.size() - 1);
}

// Named copies: the parsers refuse temporaries, since their records would point into them.
Status FilesStatus(const std::string text) {
    return ParseManifestFiles(text).status();
}
Status HeaderStatus(const std::string text) {
    return ParseManifestHeader(text).status();
}

TEST(ManifestHeaderTest, ValidHeaderGivesViewsIntoTheText) {
    const std::string text = FileLine("a") + Header("01.002.3", "beta-2", "0") + "counter 9\n";
    Result<ManifestHeader> header = ParseManifestHeader(text);
    ASSERT_TRUE(header.ok()) << header.status().message;
    EXPECT_EQ(header.value().version, "01.002.3");
    EXPECT_EQ(header.value().channel, "beta-2");
    EXPECT_EQ(header.value().counter, "0");
    EXPECT_EQ(header.value().created, "2024-01-01T00:00:00Z");
    EXPECT_EQ(header.value().expires, "2030-01-01T00:00:00Z");
}

TEST(ManifestHeaderTest, VersionAndChannelRules) {
    for (const std::string& bad : std::vector<std::string>{
             "", "1.2", "1.2.3.4", "1..3", ".1.2", "1.2.", "1.2.3-beta", "a.b.c", "1.2.3\r"}) {
        ExpectBadFormat(HeaderStatus(Header(bad)),
                        "manifest 'version' field is not SemVer: " +
                            std::string(bad == "1.2.3\r" ? "1.2.3?" : bad));
    }
    for (const std::string& bad :
         std::vector<std::string>{"", "Live", "9live", "live_eu", "-live", "li\x80ve"}) {
        ExpectBadFormat(HeaderStatus(Header("1.2.3", bad)),
                        "manifest 'channel' field is missing or malformed: " +
                            std::string(bad == "li\x80ve" ? "li?ve" : bad));
    }
    EXPECT_TRUE(HeaderStatus(Header("0.0.0", "l")).ok());
    EXPECT_TRUE(HeaderStatus(Header("1.2.3", "a-")).ok());
    // The channel is judged before the version.
    ExpectBadFormat(HeaderStatus(Header("x", "X")),
                    "manifest 'channel' field is missing or malformed: X");
}

TEST(ManifestHeaderTest, CounterAndTimeRules) {
    for (const std::string& bad : std::vector<std::string>{"", "-1", "1e3", "0x10"}) {
        ExpectBadFormat(HeaderStatus(Header("1.2.3", "live", bad)),
                        "manifest 'counter' field is missing or not an integer");
    }
    ExpectBadFormat(HeaderStatus(Header("1.2.3", "live", "1", "bad", "2030-01-01T00:00:00+0000")),
                    "manifest time field is not fixed-width ISO8601-UTC: 2030-01-01T00:00:00+0000");
    ExpectBadFormat(HeaderStatus(Header("1.2.3", "live", "1", "2024-01-01")),
                    "manifest time field is not fixed-width ISO8601-UTC: 2024-01-01");
    // Form only: a creation time after expiry is not this parser's concern.
    EXPECT_TRUE(HeaderStatus(Header("1.2.3", "live", "18446744073709551616", "2099-01-01T00:00:00Z",
                                    "2000-01-01T00:00:00Z"))
                    .ok());
}

TEST(ManifestFilesTest, EntriesKeepFileOrderAndText) {
    const std::string text =
        Header() + FileLine("data/maps/a.bin", "0") + "files x\n" + FileLine("Game-1_x.dat", "007");
    Result<std::vector<FileEntry>> files = ParseManifestFiles(text);
    ASSERT_TRUE(files.ok()) << files.status().message;
    ASSERT_EQ(files.value().size(), 2u);
    EXPECT_EQ(files.value()[0].path, "data/maps/a.bin");
    EXPECT_EQ(files.value()[0].size, "0");
    EXPECT_EQ(files.value()[0].sha256, kSha);
    EXPECT_EQ(files.value()[0].url, "https://cdn.example/data/maps/a.bin");
    EXPECT_EQ(files.value()[1].path, "Game-1_x.dat");
    EXPECT_EQ(files.value()[1].size, "007");
}

TEST(ManifestFilesTest, FieldCountSizeAndDigest) {
    ExpectBadFormat(FilesStatus("file a 1 " + kSha + "\n"),
                    "file line does not have 5 fields (4): file a 1 " + kSha);
    ExpectBadFormat(FilesStatus("file a 1 " + kSha + " u x\n"),
                    "file line does not have 5 fields (6): file a 1 " + kSha + " u x");
    ExpectBadFormat(FilesStatus("file\n"), "file line does not have 5 fields (1): file");
    // Empty fields still count, and the line is quoted printable.
    ExpectBadFormat(FilesStatus("file a 1  u\t\n"),
                    "sha256 is not 64 lowercase hex characters: file a 1  u?");
    ExpectBadFormat(FilesStatus(FileLine("a", "-1")),
                    "size is not an integer: " + Unterminated(FileLine("a", "-1")));
    ExpectBadFormat(FilesStatus(FileLine("a", "")),
                    "size is not an integer: " + Unterminated(FileLine("a", "")));
    std::string upper = kSha;
    upper[63] = 'F';
    ExpectBadFormat(
        FilesStatus(FileLine("a", "1", upper)),
        "sha256 is not 64 lowercase hex characters: file a 1 " + upper + " https://cdn.example/a");
    ExpectBadFormat(FilesStatus(FileLine("a", "1", kSha.substr(1))),
                    "sha256 is not 64 lowercase hex characters: file a 1 " + kSha.substr(1) +
                        " https://cdn.example/a");
    // The path is judged before the size, the size before the digest.
    ExpectBadFormat(FilesStatus(FileLine("/a", "x", "y")),
                    "path starts with '/' (absolute paths are forbidden): /a");
    ExpectBadFormat(FilesStatus(FileLine("a", "x", "y")),
                    "size is not an integer: file a x y https://cdn.example/a");
}

TEST(ManifestPathTest, EachRuleInOrder) {
    const std::string rule1 = "path outside the allowed character set ([A-Za-z0-9._/-]): ";
    const std::string rule2 = "path starts with '/' (absolute paths are forbidden): ";
    const std::string rule3 = "path contains '..' (write outside the install directory): ";
    const std::string rule4 =
        "path contains a name Windows reserves for a device, or a segment Win32 would silently "
        "rename: ";
    struct Case {
        std::string path;
        std::string message;  // empty: the path is accepted
    };
    const std::vector<Case> cases = {
        {"data/maps/a.bin", ""},
        {"Game-1_x.dat", ""},
        {"a//b", ""},
        {"..a", ""},
        {"a..", rule4 + "a.."},
        {"a/", ""},
        {"a/...b/c", ""},
        {"com10", ""},
        {"lpt0", ""},
        {"console", ""},
        {"x/conx.txt", ""},
        {"x.con", ""},
        {"", rule1},
        {"data\\a.bin", rule1 + "data\\a.bin"},
        {"c:/x", rule1 + "c:/x"},
        {"a\xc3\xa7", rule1 + "a??"},
        {"a b", rule1 + "a b"},
        {"CONIN$", rule1 + "CONIN$"},
        {"/etc/x", rule2 + "/etc/x"},
        {"/..", rule2 + "/.."},
        {"/con", rule2 + "/con"},
        {"../x", rule3 + "../x"},
        {"a/../b", rule3 + "a/../b"},
        {"a/..", rule3 + "a/.."},
        {"..", rule3 + ".."},
        {"../con", rule3 + "../con"},
        {"a/./b", rule4 + "a/./b"},
        {".", rule4 + "."},
        {"...", rule4 + "..."},
        {"a.", rule4 + "a."},
        {"x/CON", rule4 + "x/CON"},
        {"x/con.txt", rule4 + "x/con.txt"},
        {"LPT9.dat", rule4 + "LPT9.dat"},
        {"Con", rule4 + "Con"},
        {"cOn.TXT", rule4 + "cOn.TXT"},
        {"Nul.txt", rule4 + "Nul.txt"},
        {"aux.tar.gz", rule4 + "aux.tar.gz"},
        {"com1.log", rule4 + "com1.log"},
        {"COM9/a", rule4 + "COM9/a"},
        {"prn/", rule4 + "prn/"},
        {"a//nul//b", rule4 + "a//nul//b"},
    };
    for (const Case& c : cases) {
        const Status s = CheckManifestPath(c.path);
        if (c.message.empty()) {
            EXPECT_TRUE(s.ok()) << c.path << ": " << s.message;
        } else {
            EXPECT_EQ(s.code, StatusCode::BadFormat) << c.path;
            EXPECT_EQ(s.message, c.message) << c.path;
        }
        // The parser applies exactly the same rules to a file line.
        const Status parsed = FilesStatus(FileLine(c.path));
        if (c.message.empty()) {
            EXPECT_TRUE(parsed.ok()) << c.path << ": " << parsed.message;
        } else if (!c.path.empty() && c.path.find(' ') == std::string::npos) {
            EXPECT_EQ(parsed.message, c.message) << c.path;
        }
    }
}

TEST(ManifestFilesTest, PerEntryCheckRunsInOrderUntilTheFirstFailure) {
    std::vector<std::string> seen;
    const FileEntryCheck check = [&seen](const FileEntry& entry) {
        seen.emplace_back(entry.path);
        if (entry.path == "bad") return Status(StatusCode::ContentMismatch, "sha256 mismatch: bad");
        return Status::Success();
    };
    const std::string text = Header() + FileLine("a") + FileLine("b") + FileLine("../c");
    Result<std::vector<FileEntry>> files = ParseManifestFiles(text, check);
    EXPECT_FALSE(files.ok());
    ExpectBadFormat(files.status(),
                    "path contains '..' (write outside the install directory): ../c");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));

    seen.clear();
    const std::string damaged = FileLine("a") + FileLine("bad") + FileLine("c");
    Result<std::vector<FileEntry>> stopped = ParseManifestFiles(damaged, check);
    EXPECT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.status().code, StatusCode::ContentMismatch);
    EXPECT_EQ(stopped.status().message, "sha256 mismatch: bad");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "bad"}));

    const std::string only = FileLine("bad");
    EXPECT_EQ(ParseManifestFiles(only, check).status().code, StatusCode::ContentMismatch);
}

TEST(ManifestFilesTest, NoFileLine) {
    ExpectBadFormat(FilesStatus(Header()), "manifest contains no 'file' line");
    ExpectBadFormat(FilesStatus(""), "manifest contains no 'file' line");
    ExpectBadFormat(FilesStatus("File a 1 " + kSha + " u\n files\n"),
                    "manifest contains no 'file' line");
}

}  // namespace
}  // namespace patcher
