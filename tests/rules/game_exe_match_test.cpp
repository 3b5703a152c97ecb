#include "rules/game_exe_match.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

FileEntry Entry(std::string_view path) {
    return FileEntry{path, 1, "", ""};
}

TEST(MatchGameExeTest, BackslashesCapitalsAndLeadingSlashesNameTheSameEntry) {
    const std::vector<FileEntry> entries = {Entry("data/pack.dat"), Entry("bin/game.exe")};
    const GameExeMatch match = MatchGameExe(entries, "\\bin\\Game.EXE");
    EXPECT_TRUE(match.in_manifest);
    EXPECT_EQ(match.manifest_path, "bin/game.exe");
    EXPECT_EQ(match.same_name_path, "");
    EXPECT_EQ(NormaliseGameExe("//\\Bin\\Game.EXE"), "bin/game.exe");
    EXPECT_EQ(NormaliseGameExe("///"), "");
}

TEST(MatchGameExeTest, SameFileNameElsewhereIsReportedNotMatched) {
    const std::vector<FileEntry> entries = {Entry("old/Game.exe"), Entry("new/game.exe"),
                                            Entry("game.exe.bak")};
    const GameExeMatch match = MatchGameExe(entries, "game.exe");
    EXPECT_FALSE(match.in_manifest);
    EXPECT_EQ(match.same_name_path, "old/Game.exe");  // the first one, as the manifest writes it

    // Once the real entry is found the walk ends; a same-name entry after it is not looked at.
    const std::vector<FileEntry> later = {Entry("game.exe"), Entry("x/game.exe")};
    EXPECT_EQ(MatchGameExe(later, "game.exe").same_name_path, "");
}

}  // namespace
}  // namespace patcher::rules
