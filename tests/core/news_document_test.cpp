#include "core/news_document.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/core/test_status.h"

namespace patcher {
namespace {

const std::string kS = "\xc5\x9f";  // ş, two bytes

NewsDocument Parse(const std::string& text) {
    Result<NewsDocument> doc = ParseNewsDocument(text);
    EXPECT_TRUE(doc.ok()) << doc.status().message;
    return doc.ok() ? doc.value() : NewsDocument{};
}

// True when text is valid UTF-8 without any character CleanText removes.
bool IsClean(const std::string& text, bool line_feeds_allowed) {
    return CleanText(line_feeds_allowed, text) == text;
}

TEST(NewsDocumentTest, CapsOnDocumentAndLine) {
    std::string big = "news 1\nitem\n";
    while (big.size() < 16384 - 10) big += "body " + std::string(5, 'a') + "\n";
    big += std::string(16384 - big.size(), 'z');
    ASSERT_EQ(big.size(), 16384u);
    EXPECT_TRUE(ParseNewsDocument(big).ok());
    test_support::ExpectBadFormat(ParseNewsDocument(big + "a").status(),
                                  "news document is larger than the cap (16385 bytes)");

    test_support::ExpectBadFormat(
        ParseNewsDocument("news 1\nitem\n" + std::string(1025, 'x') + "\n").status(),
        "news line 3 is longer than the cap");
    // The CR counts; line numbers start after the byte-order mark and include blank lines.
    const Result<NewsDocument> with_cr = ParseNewsDocument(
        "\xEF\xBB\xBF\r\n\nnews 1\r\nitem\r\nbody " + std::string(1019, 'x') + "\r\n");
    EXPECT_EQ(with_cr.status().message, "news line 5 is longer than the cap");
    EXPECT_EQ(Parse("news 1\nitem\nbody " + std::string(1019, 'x') + "\n").items.size(), 1u);
}

// A blank line of spaces, tabs and CRs before the marker keeps the structured form.
TEST(NewsDocumentTest, StructuredFormWithBomAndCrlf) {
    const NewsDocument doc = Parse(
        "\xEF\xBB\xBF \t \r\r\n  news 1 \r\ntitle before any item\r\nitem one\r\n\ttitle  "
        "Ba\xC5\x9Flik \r\n"
        "date 2024-05-01\r\nunknown key\r\nbody first\r\nbody\r\nbody  third\tpart \r\n");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_FALSE(doc.truncated);
    EXPECT_EQ(doc.items[0].title, "Ba\xC5\x9Flik");
    EXPECT_EQ(doc.items[0].date, "2024-05-01");
    EXPECT_EQ(doc.items[0].body, "first\n\nthirdpart");
}

TEST(NewsDocumentTest, ItemsCapAndEmptyItems) {
    std::string text = "news 1\n";
    for (int i = 0; i < 33; ++i) text += "item\ntitle t" + std::to_string(i) + "\n";
    NewsDocument doc = Parse(text);
    ASSERT_EQ(doc.items.size(), 32u);
    EXPECT_TRUE(doc.truncated);
    EXPECT_EQ(doc.items[31].title, "t31");

    doc = Parse(
        "news 1\nitem\ndate 2024-01-01\nitem\nbody\nitem\ntitle a\ntitle b\ndate 2024-5-01\n"
        "item\nbody x\ndate 2024/05/01\n");
    ASSERT_EQ(doc.items.size(), 2u);
    EXPECT_EQ(doc.items[0].title, "b");
    EXPECT_EQ(doc.items[0].date, "");
    EXPECT_EQ(doc.items[1].body, "x");
    EXPECT_EQ(doc.items[1].date, "");
    EXPECT_FALSE(doc.truncated);

    // A dropped empty item still used up one of the 32 places before being removed.
    text = "news 1\n";
    for (int i = 0; i < 32; ++i) text += "item\ntitle t\n";
    EXPECT_FALSE(Parse(text).truncated);
    EXPECT_TRUE(Parse(text + "item\n").truncated);
}

TEST(NewsDocumentTest, TitleCutsOnCharacterBoundaries) {
    NewsDocument doc = Parse("news 1\nitem\ntitle " + std::string(200, 'a') + "\n");
    EXPECT_EQ(doc.items[0].title, std::string(128, 'a'));
    // A four-byte character straddling the cut at every offset: whole or gone.
    for (int lead = 121; lead <= 128; ++lead) {
        doc = Parse("news 1\nitem\ntitle " + std::string(lead, 'a') + "\xF0\x9F\x98\x80\n");
        const std::string& title = doc.items[0].title;
        EXPECT_EQ(title.size(), lead <= 124 ? lead + 4u : static_cast<std::size_t>(lead)) << lead;
        EXPECT_TRUE(IsClean(title, false));
    }
}

TEST(NewsDocumentTest, BodyCapsOnLinesAndTotal) {
    std::string text = "news 1\nitem\nbody " + std::string(499, 'a') + kS + "\n";
    EXPECT_EQ(Parse(text).items[0].body, std::string(499, 'a'));

    // Eight full lines (4007 bytes with their separators), then a line whose ş straddles 4096.
    text = "news 1\nitem\n";
    for (int i = 0; i < 8; ++i) text += "body " + std::string(500, 'b') + "\n";
    std::string straddle = "a";
    for (int i = 0; i < 249; ++i) straddle += kS;
    text += "body " + straddle + "\n";
    const std::string body = Parse(text).items[0].body;
    EXPECT_EQ(body.size(), 4095u);
    EXPECT_TRUE(IsClean(body, true));
    // Once the body is full every further line is ignored.
    std::string full = "news 1\nitem\n";
    for (int i = 0; i < 9; ++i) full += "body " + std::string(500, 'c') + "\n";
    const std::string at_cap = Parse(full).items[0].body;
    EXPECT_EQ(at_cap.size(), 4096u);
    EXPECT_EQ(Parse(full + "body more\n").items[0].body, at_cap);
}

TEST(NewsDocumentTest, PlainForm) {
    EXPECT_TRUE(Parse(" \n\t\r\n  \n").items.empty());
    EXPECT_TRUE(Parse("").items.empty());
    // Only characters the cleaner removes count as no text either.
    EXPECT_TRUE(Parse("\xE2\x80\x8B\n\x01").items.empty());

    NewsDocument doc = Parse("\xEF\xBB\xBFHello\r\nworld\n");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].title, "");
    EXPECT_EQ(doc.items[0].body, "Hello\nworld\n");

    doc = Parse("news 2\nitem\ntitle x\n");
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].body, "news 2\nitem\ntitle x\n");

    doc = Parse("x" + std::string(5000, 'y'));
    EXPECT_EQ(doc.items[0].body.size(), 4096u);
    std::string turkish;
    for (int i = 0; i < 3000; ++i) turkish += kS;
    doc = Parse("a" + turkish);
    EXPECT_EQ(doc.items[0].body.size(), 4095u);
}

TEST(CleanTextTest, RemovesHiddenCharactersAndBrokenSequences) {
    // Letters past 'f' end a hex escape, so each input is one literal.
    const struct {
        bool line_feeds;
        const char *text, *clean;
    } cases[] = {
        {false, "a\xE2\x80\xAEx\xE2\x80\x8By", "axy"},  // RLO, ZWSP
        {false, "a\tb\rc\nd\x7Fg\xC2\x85h\xC2\xADi", "abcdghi"},
        {true, "a\nb\r\n", "a\nb\n"},
        {false,
         "\xD8\x9C\xE2\x81\xA0\xE2\x81\xA6\xEF\xBB\xBF\xEF\xBF\xB9\xF3\xA0\x80\x81\xE2\x80\xA8\xE2"
         "\x80\xA9x",
         "x"},
        // Neighbours of the removed ranges stay.
        {false, "\xE2\x80\x8A\xE2\x81\xA5\xE2\x80\xAF\xEF\xBF\xBC\xF3\xA0\x82\x80",
         "\xE2\x80\x8A\xE2\x81\xA5\xE2\x80\xAF\xEF\xBF\xBC\xF3\xA0\x82\x80"},
        {false, "\xC3\xA7\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
         "\xC3\xA7\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        // Overlong, surrogate, beyond U+10FFFF, stray continuation, bad lead, cut short: each byte
        // of a broken sequence goes on its own, and decoding picks up again at the next byte.
        {false, "a\xC0\xAFg\xE0\x80\xAFh\xED\xA0\x80i\xF4\x90\x80\x80j", "aghij"},
        {false, "\x80x\xFFy\xF5z\xE2\x82", "xyz"},
        {false, "\xE2\x82Z", "Z"},
        {false, "\xC3\xC3\xA7", "\xC3\xA7"},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanText(c.line_feeds, c.text), c.clean) << c.text;
}

}  // namespace
}  // namespace patcher
