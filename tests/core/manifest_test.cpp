#include "core/manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/test_status.h"

namespace patcher {
namespace {

const std::string kSha = std::string(32, '0') + std::string(32, 'f');

using test_support::ExpectBadFormat;
using test_support::ExpectStatus;

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
    const std::string counter = "manifest 'counter' field is missing or not an integer";
    const std::string time = "manifest time field is not fixed-width ISO8601-UTC: ";
    const std::pair<std::string, std::string> cases[] = {
        {Header("1.2.3", "live", "1e3"), counter},
        {Header("1.2.3", "live", "0x10"), counter},
        {Header("1.2.3", "live", "1", "bad", "2030-01-01T00:00:00+0000"),
         time + "2030-01-01T00:00:00+0000"},
        {Header("1.2.3", "live", "1", "2024-01-01"), time + "2024-01-01"},
    };
    for (const auto& [text, message] : cases) ExpectBadFormat(HeaderStatus(text), message);
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
    EXPECT_EQ(files.value()[0].size, 0u);
    EXPECT_EQ(files.value()[0].sha256, kSha);
    EXPECT_EQ(files.value()[0].url, "https://cdn.example/data/maps/a.bin");
    EXPECT_EQ(files.value()[1].path, "Game-1_x.dat");
    EXPECT_EQ(files.value()[1].size, 7u);
}

TEST(ManifestFilesTest, FieldCountSizeDigestAndNoFileLine) {
    const std::string fields = "file line does not have 5 fields ";
    const std::string size = "size is not an integer: ";
    const std::string sha = "sha256 is not 64 lowercase hex characters: ";
    const std::string none = "manifest contains no 'file' line";
    std::string upper = kSha;
    upper[63] = 'F';
    const std::pair<std::string, std::string> cases[] = {
        {"file a 1 " + kSha + "\n", fields + "(4): file a 1 " + kSha},
        {"file a 1 " + kSha + " u x\n", fields + "(6): file a 1 " + kSha + " u x"},
        {"file\n", fields + "(1): file"},
        // Empty fields still count, and the line is quoted printable.
        {"file a 1  u\t\n", sha + "file a 1  u?"},
        // Which texts are no number or no digest is LexicalTest's.
        {FileLine("a", "-1"), size + Unterminated(FileLine("a", "-1"))},
        {FileLine("a", "1", upper), sha + Unterminated(FileLine("a", "1", upper))},
        // The path is judged before the size, the size before the digest.
        {FileLine("/a", "x", "y"), "path starts with '/' (absolute paths are forbidden): /a"},
        {FileLine("a", "x", "y"), size + "file a x y https://cdn.example/a"},
        {Header(), none},
        {"", none},
        {"File a 1 " + kSha + " u\n files\n", none},
    };
    for (const auto& [text, message] : cases) ExpectBadFormat(FilesStatus(text), message);
}

// Each rule with the paths it refuses (the first rule is "accepted"); a path breaking several
// rules is refused by the first.
TEST(ManifestPathTest, EachRuleInOrder) {
    const std::pair<std::string, std::vector<std::string>> rules[] = {
        {"",
         {"data/maps/a.bin", "Game-1_x.dat", "a//b", "..a", "a/", "a/...b/c", "com10", "lpt0",
          "console", "x/conx.txt", "x.con"}},
        {"path outside the allowed character set ([A-Za-z0-9._/-]): ",
         {"", "data\\a.bin", "c:/x", "a\xc3\xa7", "a b", "CONIN$"}},
        {"path starts with '/' (absolute paths are forbidden): ", {"/etc/x", "/..", "/con"}},
        {"path contains '..' (write outside the install directory): ",
         {"../x", "a/../b", "a/..", "..", "../con"}},
        {"path contains a name Windows reserves for a device, or a segment Win32 would silently "
         "rename: ",
         {"a..", "a/./b", ".", "...", "a.", "x/CON", "x/con.txt", "LPT9.dat", "Con", "cOn.TXT",
          "Nul.txt", "aux.tar.gz", "com1.log", "COM9/a", "prn/", "a//nul//b"}},
    };
    for (const auto& [rule, paths] : rules) {
        for (const std::string& path : paths) {
            SCOPED_TRACE(path);
            std::string message = rule.empty() ? "" : rule + path;
            for (char& c : message) c = (c & 0x80) ? '?' : c;  // quoted printable
            const Status s = CheckManifestPath(path);
            EXPECT_EQ(s.code, rule.empty() ? StatusCode::Ok : StatusCode::BadFormat);
            EXPECT_EQ(s.message, message);
            // The parser applies exactly the same rules to a file line.
            const Status parsed = FilesStatus(FileLine(path));
            if (!path.empty() && path.find(' ') == std::string::npos) {
                EXPECT_EQ(parsed.message, message);
            }
            EXPECT_EQ(parsed.ok(), rule.empty());
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
    ExpectBadFormat(files.status(),
                    "path contains '..' (write outside the install directory): ../c");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));

    seen.clear();
    const std::string damaged = FileLine("a") + FileLine("bad") + FileLine("c");
    Result<std::vector<FileEntry>> stopped = ParseManifestFiles(damaged, check);
    ExpectStatus(stopped.status(), StatusCode::ContentMismatch, "sha256 mismatch: bad");
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "bad"}));

    const std::string only = FileLine("bad");
    EXPECT_EQ(ParseManifestFiles(only, check).status().code, StatusCode::ContentMismatch);
}

}  // namespace
}  // namespace patcher
