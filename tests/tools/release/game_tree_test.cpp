#include "tools/release/game_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/tools/release/test_release_tool_fixture.h"

namespace patcher::release {
namespace {

using test_support::ExpectStatus;
using test_support::TempFolder;

TEST(GameTree, WalksRegularFilesInByteOrderWithForwardSlashes) {
    TempFolder folder;
    for (const char* name : {"b.txt", "a/z.bin", "B/x", "a-b", "a/b/c.dat", "_u"}) {
        folder.Write(std::string("game/") + name, name);
    }
    ASSERT_EQ(::mkdir(folder.Path("game/empty-folder").c_str(), 0755), 0);
    Result<std::vector<GameFile>> tree = WalkGameTree(folder.Path("game"));
    ASSERT_TRUE(tree.ok()) << tree.status().message;
    std::vector<std::string> paths;
    for (const GameFile& file : tree.value()) {
        paths.push_back(file.path);
        EXPECT_EQ(file.disk_path, folder.Path("game/" + file.path));
    }
    EXPECT_EQ(paths,
              (std::vector<std::string>{"B/x", "_u", "a-b", "a/b/c.dat", "a/z.bin", "b.txt"}));
}

TEST(GameTree, RefusesWhatThePatcherOrWindowsWouldRefuseNamingPathAndRule) {
    struct Case {
        std::vector<std::string> files;
        std::string message;
    };
    const std::string one_file =
        "Windows would store both as one file (they differ only in letter case)";
    const std::vector<Case> cases = {
        // One of the core's path rules, named with the path; the rules are the core's tests.
        {{"a:b.txt"},
         "refusing a:b.txt: path contains a character Windows does not allow in a file name "
         "(< > : \" \\ | ? *): a:b.txt"},
        {{"Ağaç.txt", "AĞAÇ.txt"}, "refusing Ağaç.txt and AĞAÇ.txt: " + one_file},
        {{"Data/a.bin", "data/a.bin"}, "refusing data/a.bin and Data/a.bin: " + one_file},
        {{"Maps", "maps/x"},
         "refusing Maps and maps/x: Windows would need one name for both a file and a folder"},
    };
    for (const Case& test : cases) {
        TempFolder folder;
        for (const std::string& file : test.files) folder.Write("game/" + file, "x");
        ExpectStatus(WalkGameTree(folder.Path("game")).status(), StatusCode::BadInput,
                     test.message);
    }
}

TEST(GameTree, RefusesLinksSpecialFilesAndAnEmptyTree) {
    TempFolder folder;
    folder.Write("game/real.bin", "x");
    ASSERT_EQ(::symlink("real.bin", folder.Path("game/link.bin").c_str()), 0);
    EXPECT_EQ(WalkGameTree(folder.Path("game")).status().message,
              "refusing link.bin: it is a symbolic link; publish the file itself instead");

    TempFolder fifo;
    fifo.Write("game/ok", "x");
    ASSERT_EQ(::mkfifo(fifo.Path("game/pipe").c_str(), 0600), 0);
    EXPECT_EQ(WalkGameTree(fifo.Path("game")).status().message,
              "refusing pipe: not a regular file (device, socket or pipe)");

    TempFolder empty;
    ASSERT_EQ(::mkdir(empty.Path("game").c_str(), 0755), 0);
    EXPECT_EQ(WalkGameTree(empty.Path("game")).status().message,
              "no files to publish in " + empty.Path("game"));
    EXPECT_FALSE(WalkGameTree(empty.Path("missing")).ok());
}

TEST(GameTree, CollisionCheckAlsoCatchesExactDuplicatesOfAManifest) {
    ExpectStatus(CheckWindowsCollisions({"a/b", "a/b"}), StatusCode::BadFormat,
                 "manifest names the same file twice, so the download set is ambiguous: a/b");
    EXPECT_TRUE(CheckWindowsCollisions({"a/b", "a/c", "ab"}).ok());
}

}  // namespace
}  // namespace patcher::release
