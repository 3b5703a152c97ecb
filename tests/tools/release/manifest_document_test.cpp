#include "tools/release/manifest_document.h"

#include <gtest/gtest.h>

#include "core/manifest.h"
#include "core/sha256.h"
#include "tests/tools/release/test_release_tool_fixture.h"

namespace patcher::release {
namespace {

ManifestValues Values() {
    return {"1.4.2",
            "live",
            "7",
            "2024-05-01T12:00:00Z",
            "2031-01-01T00:00:00Z",
            "https://patch.example/live/files/"};
}

const std::string kNow = "2025-01-01T00:00:00Z";

TEST(ManifestDocument, UrlJoinDropsTrailingSlashesLikeThePatcher) {
    EXPECT_EQ(UrlJoin("https://h/live", "a/b.bin"), "https://h/live/a/b.bin");
    EXPECT_EQ(UrlJoin("https://h/live/", "a"), "https://h/live/a");
    EXPECT_EQ(UrlJoin("https://h/live//", "a"), "https://h/live/a");
}

TEST(ManifestDocument, RendersWhatTheCoreParsesBack) {
    test_support::TempFolder folder;
    folder.Write("game/data/a.bin", "hello");
    folder.Write("game/z", "");
    Result<std::vector<ManifestFile>> files = DescribeFiles(
        {{"data/a.bin", folder.Path("game/data/a.bin")}, {"z", folder.Path("game/z")}});
    ASSERT_TRUE(files.ok()) << files.status().message;
    Result<std::string> text = RenderManifest(Values(), files.value());
    ASSERT_TRUE(text.ok()) << text.status().message;
    EXPECT_EQ(text.value(),
              "version 1.4.2\nchannel live\ncounter 7\ncreated 2024-05-01T12:00:00Z\n"
              "expires 2031-01-01T00:00:00Z\n"
              "file data/a.bin 5 " +
                  Sha256Hex("hello") +
                  " https://patch.example/live/files/data/a.bin\n"
                  "file z 0 " +
                  Sha256Hex("") + " https://patch.example/live/files/z\n");
    Result<std::vector<FileEntry>> entries = ParseManifestFiles(text.value());
    ASSERT_TRUE(entries.ok());
    EXPECT_EQ(entries.value().size(), 2u);
}

TEST(ManifestDocument, RefusesValuesThePatcherWouldRefuse) {
    using Change = void (*)(ManifestValues&);
    const std::pair<Change, std::string> cases[] = {
        {[](ManifestValues& v) { v.version = "1.2"; },
         "manifest 'version' field is not SemVer: 1.2"},
        {[](ManifestValues& v) { v.version = "1.2.3 x"; },
         "--version must be printable ASCII without spaces"},
        {[](ManifestValues& v) { v.counter = "18446744073709551616"; },
         "--counter must be a decimal number below 2^64"},
        {[](ManifestValues& v) { v.base_url = "http://patch.example/live"; },
         "--base-url must be an https:// address with a host (the patcher fetches over HTTPS "
         "only)"},
        {[](ManifestValues& v) { v.expires = kNow; },
         "--expires 2025-01-01T00:00:00Z is not after now (2025-01-01T00:00:00Z): the patcher "
         "would refuse the manifest as expired"},
        {[](ManifestValues& v) { v.created = "2031-01-01T00:00:00Z"; },
         "--expires 2031-01-01T00:00:00Z is not after --created 2031-01-01T00:00:00Z"},
    };
    EXPECT_TRUE(CheckManifestValues(Values(), kNow).ok());
    for (const auto& [change, message] : cases) {
        ManifestValues values = Values();
        change(values);
        test_support::ExpectStatus(CheckManifestValues(values, kNow), StatusCode::BadInput,
                                   message);
    }
}

TEST(ManifestDocument, RefusesAManifestAboveTheDocumentCap) {
    // 5,000 lines of about 230 bytes: more than the 1 MB the patcher reads.
    std::vector<ManifestFile> files;
    for (int i = 0; i < 5000; ++i) {
        files.push_back(
            {"data/" + std::string(100, 'x') + std::to_string(i), 1, std::string(64, 'a'), ""});
    }
    Result<std::string> text = RenderManifest(Values(), files);
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.status().code, StatusCode::BadFormat);
    EXPECT_NE(text.status().message.find("above the patcher's 1 MB cap"), std::string::npos);
}

}  // namespace
}  // namespace patcher::release
