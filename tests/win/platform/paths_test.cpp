#include "win/platform/paths.h"

#include <gtest/gtest.h>

namespace patcher::win {

using namespace rules;

namespace {

TEST(PathsTest, ParentPathCutsAtTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(ParentPath(L"C:\\game\\data\\file.pak"), L"C:\\game\\data");
    EXPECT_EQ(ParentPath(L"C:\\game/data\\file.pak"), L"C:\\game/data");
    EXPECT_EQ(ParentPath(L"C:\\game\\data/file.pak"), L"C:\\game\\data");
    EXPECT_EQ(ParentPath(L"C:\\game\\"), L"C:\\game");
    EXPECT_EQ(ParentPath(L"C:\\"), L"C:");
    EXPECT_EQ(ParentPath(L"\\file"), L"");
    EXPECT_EQ(ParentPath(L"file.pak"), L"");
    EXPECT_EQ(ParentPath(L""), L"");
    EXPECT_EQ(ParentPath(L"\\\\server\\share"), L"\\\\server");
}

TEST(PathsTest, JoinPathUsesOneBackslashAndNormalisesSlashes) {
    EXPECT_EQ(JoinPath(L"C:\\game", L"data/file.pak"), L"C:\\game\\data\\file.pak");
    EXPECT_EQ(JoinPath(L"C:\\game\\", L"file"), L"C:\\game\\file");
    EXPECT_EQ(JoinPath(L"C:/game/", L"file"), L"C:\\game\\file");
    EXPECT_EQ(JoinPath(L"C:\\game", L"\\/\\file"), L"C:\\game\\file");
    EXPECT_EQ(JoinPath(L"C:\\game", L""), L"C:\\game");
    EXPECT_EQ(JoinPath(L"", L"data/file"), L"data\\file");
    EXPECT_EQ(JoinPath(L"", L""), L"");
    // A relative part made only of separators adds the one separator and nothing else.
    EXPECT_EQ(JoinPath(L"C:\\game", L"//"), L"C:\\game\\");
    // Only leading separators are dropped; inner doubled ones are kept.
    EXPECT_EQ(JoinPath(L"a", L"b//c"), L"a\\b\\\\c");
}

}  // namespace
}  // namespace patcher::win
