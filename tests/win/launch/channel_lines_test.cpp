#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win/launch/channel_lines.h"

namespace patcher::win {
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
        {"flood without a line end", {flood, "xx", "x\nNOTE a\n"}, 2, 0, {"a"}},
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

}  // namespace
}  // namespace patcher::win
