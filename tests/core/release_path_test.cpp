#include "core/release_path.h"

#include <gtest/gtest.h>

#include <string>

#include "core/name_case.h"

namespace patcher {
namespace {

TEST(ReleasePathTest, WindowsNameRules) {
    for (const char* good :
         {"data/a b.png", "Şehir/İstanbul ağaç.png", "çğıöşü ÇĞIÖŞÜ/x", "100%.txt",
          " leading space", "com10", "console.log", "a/.b", "\xF0\x9F\x8E\xAE game.txt"}) {
        EXPECT_TRUE(CheckReleasePath(good).ok()) << good << ": " << CheckReleasePath(good).message;
    }
    // An overlong "/" and a surrogate are not UTF-8; U+0085 is a C1 control.
    const std::pair<const char*, std::vector<std::string>> bad[] = {
        {"empty", {""}},
        {"not valid UTF-8", {"a\xC3", "\xC0\xAF", "\xED\xA0\x80"}},
        {"control character", {"a\tb", "a\xC2\x85"}},
        {"does not allow", {"c:x", "a<b", "a>b", "a:b", "a\"b", "a\\b", "a|b", "a?b", "a*b"}},
        {"starts with '/'", {"/etc/x"}},
        {"'..'", {"a/../b", ".."}},
        {"empty name", {"a//b", "a/"}},
        {"dot or a space", {"a /b", "a./b", "."}},
        {"device", {"x/CON", "Aux .png", "com\xC2\xB9.txt", "LPT\xC2\xB3 .log"}},
        {"longer than 200", {std::string(201, 'a')}},
    };
    // A character outside the Basic Multilingual Plane is two units.
    std::string astral;
    for (int i = 0; i < 100; ++i) astral += "\xF0\x9F\x8E\xAE";
    EXPECT_TRUE(CheckReleasePath(astral.substr(0, 4 * 63) + "/" + astral.substr(0, 4 * 36)).ok());
    EXPECT_FALSE(CheckReleasePath(astral + "a").ok());
    for (const auto& [says, paths] : bad) {
        for (const std::string& path : paths) {
            const Status status = CheckReleasePath(path);
            EXPECT_EQ(status.code, StatusCode::BadFormat) << path;
            EXPECT_NE(status.message.find(says), std::string::npos)
                << path << ": " << status.message;
        }
    }
}

TEST(ReleasePathTest, ShardPathsDecodeEscapesOnly) {
    const struct {
        const char* field;
        const char* path;  // nullptr: refused
    } cases[] = {
        {"data/a%20b.png", "data/a b.png"},
        {"%C5%9Eehir/a%c4%9f.png", "Şehir/ağ.png"},
        {"100%25.txt", "100%.txt"},
        {"plain/name.txt", "plain/name.txt"},
        {"a b", nullptr},
        {"a%2", nullptr},
        {"a%zz", nullptr},
        {"%", nullptr},
        {"\xC5\x9E", nullptr},  // raw UTF-8 must be escaped
    };
    for (const auto& [field, path] : cases) {
        std::string decoded;
        const Status status = DecodeShardPath(field, decoded);
        EXPECT_EQ(status.ok(), path != nullptr) << field;
        if (path == nullptr) continue;
        EXPECT_EQ(decoded, path);
        EXPECT_EQ(EncodeShardPath(decoded), std::string(field) == "%C5%9Eehir/a%c4%9f.png"
                                                ? "%C5%9Eehir/a%C4%9F.png"
                                                : field);
    }
    EXPECT_FALSE(NeedsShardEncoding("data/A-1_x.pak"));
    EXPECT_TRUE(NeedsShardEncoding("a b"));
}

TEST(ReleasePathTest, NamesMeetUnderWindowsCaseRule) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } pairs[] = {
        {"Çay/Ağaç.txt", "çAY/AĞAÇ.TXT", true},
        {"ı.txt", "I.txt", true},  // dotless i upper-cases to I; no locale is applied
        {"i.txt", "ı.txt", true},
        {"İ.txt", "i.txt", false},  // dotted capital I has no single upper-case partner
        {"straße", "STRASSE", false},
        {"straße", "STRAßE", true},
        {"σ", "ς", true},
        {"ä", "a", false},
        {"a", "ab", false},
    };
    for (const auto& [a, b, same] : pairs) {
        EXPECT_EQ(CompareNamesIgnoringCase(a, b) == 0, same) << a << " " << b;
        EXPECT_EQ(CompareNamesIgnoringCase(a, b), -CompareNamesIgnoringCase(b, a)) << a << " " << b;
    }
}

}  // namespace
}  // namespace patcher
