#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rules/channel_lines.h"

namespace patcher::rules {
namespace {

TEST(ChannelLinesTest, WhatTheGameWritesAndWhatTheChannelKeeps) {
    std::string many_notes;
    for (int i = 1; i <= 65; ++i) many_notes += "NOTE n" + std::to_string(i) + "\n";
    const std::string flood(kMaxChannelPendingBytes, 'x');
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::uint32_t lines, requests;
        std::vector<std::string> notes;
    } cases[] = {
        {"crlf", {"KEYREQ\r\n"}, 1, 1, {}},
        {"lower case", {"keyreq\n"}, 1, 0, {}},
        {"trailing text", {"KEYREQ x\n", "KEYREQ \n"}, 2, 0, {}},
        {"split note", {"NO", "TE hello\r", "\nNOTE\n"}, 2, 0, {"hello"}},
        {"one cr only", {"NOTE a\r\r\n"}, 1, 0, {"a\r"}},
        {"no line end yet", {"KEYREQ"}, 0, 0, {}},
        {"longest line", {"NOTE " + std::string(1019, 'n') + "\n"}, 1, 0, {std::string(1019, 'n')}},
        {"line too long", {"NOTE " + std::string(1020, 'n') + "\r\nKEYREQ\n"}, 1, 1, {}},
        {"flood dropped, then recovery", {flood, "x\nKEYREQ\n", "KEYREQ\n"}, 2, 2, {}},
        {"flood without a line end", {flood, "xx", "x\nNOTE a\n"}, 1, 0, {"a"}},
        {"65 notes", {many_notes}, 65, 0, {}},
    };
    for (const Case& c : cases) {
        ChannelLineSplitter splitter;
        ChannelRecord record;
        std::vector<std::string> lines;
        for (const std::string& chunk : c.chunks) splitter.Feed(chunk, lines);
        std::uint32_t answered = 0;
        for (const std::string& line : lines) answered += RecordChannelLine(record, line);
        EXPECT_EQ(record.lines, c.lines) << c.name;
        EXPECT_EQ(record.requests, c.requests) << c.name;
        EXPECT_EQ(answered, c.requests) << c.name;
        if (c.lines == 65) {
            ASSERT_EQ(record.notes.size(), kMaxChannelNotes);
            EXPECT_EQ(record.notes.back(), "n64");
        } else {
            EXPECT_EQ(record.notes, c.notes) << c.name;
        }
    }
}

TEST(ChannelLinesTest, HowThePipeCutTheWritesDoesNotMatter) {
    const std::string bytes = std::string(kMaxChannelPendingBytes + 1, 'x') + "KEYREQ\nNOTE a\r\n" +
                              std::string(1025, 'y') + "\nKEYREQ\n";
    const std::vector<std::string> expected = {"NOTE a", "KEYREQ"};
    // Every cut into two reads, and reads of a few fixed sizes.
    std::vector<std::vector<std::size_t>> cuts;
    for (std::size_t at = 0; at <= bytes.size(); ++at) cuts.push_back({at});
    for (std::size_t size : {1, 7, 4096}) {
        cuts.emplace_back();
        for (std::size_t at = size; at < bytes.size(); at += size) cuts.back().push_back(at);
    }
    for (const std::vector<std::size_t>& cut : cuts) {
        ChannelLineSplitter splitter;
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t at : cut) {
            splitter.Feed(std::string_view(bytes).substr(from, at - from), lines);
            from = at;
        }
        splitter.Feed(std::string_view(bytes).substr(from), lines);
        ASSERT_EQ(lines, expected) << "first cut at " << (cut.empty() ? 0 : cut.front());
    }
}

TEST(ChannelLinesTest, OnlyAFailedReadOrTheStopEndsTheChannel) {
    struct Case {
        bool ok;
        std::uint32_t bytes;
        bool stopping, continues;
    } cases[] = {
        {true, 0, false, true},  // a zero-length write by the game
        {true, 12, false, true},
        {false, 0, false, false},  // the game's side closed, or the read was abandoned
        {true, 12, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChannelReadContinues(c.ok, c.bytes, c.stopping), c.continues) << c.bytes;
    }
}

}  // namespace
}  // namespace patcher::rules
