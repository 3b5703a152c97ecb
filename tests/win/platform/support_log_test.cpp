#include "win/platform/support_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/win/test_scratch_directory.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

using testing::FileExists;
using testing::ReadWholeFile;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

// The log is process-wide: every test starts and ends with it closed.
class SupportLogTest : public ::testing::Test {
  protected:
    void SetUp() override { LogClose(); }
    void TearDown() override { LogClose(); }

    ScratchDirectory scratch_{L"log"};
    std::wstring log_ = scratch_.Join(L"patcher.log");
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

TEST_F(SupportLogTest, LinesAreStampedAndNeverSpanTwoLines) {
    LogLine("before open is dropped");
    LogOpen(scratch_.path(), L"");
    EXPECT_EQ(LogPath(), log_);
    LogLine("first\r\nsecond\tthird");
    LogLine(
        "G\xC3\xBC"
        "ncelle \x7F end");
    LogLineWide(L"wide \u015F\u0130");
    LogLine(std::string("nul\0byte", 8));
    const std::vector<std::string> lines = Lines(ReadWholeFile(log_));
    ASSERT_EQ(lines.size(), 4u);
    const std::regex stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )");
    for (const std::string& line : lines) EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    EXPECT_EQ(lines[0].substr(21), "first  second third");
    EXPECT_EQ(lines[1].substr(21),
              "G\xC3\xBC"
              "ncelle \x7F end");
    EXPECT_EQ(lines[2].substr(21), "wide \xC5\x9F\xC4\xB0");
    EXPECT_EQ(lines[3].substr(21), "nul byte");
}

TEST_F(SupportLogTest, RotatesRightAfterTheLineThatReachesTheThreshold) {
    const std::string almost(kLogRotateBytes - 1, 'a');
    ASSERT_TRUE(WriteWholeFile(log_, almost));
    LogOpen(scratch_.path(), L"");
    EXPECT_FALSE(FileExists(log_ + L".1"));
    LogLine("tips it over");
    const std::string rotated = ReadWholeFile(log_ + L".1");
    EXPECT_EQ(rotated.size(), almost.size() + 21 + 12 + 2);
    EXPECT_EQ(rotated.substr(rotated.size() - 14), "tips it over\r\n");
    EXPECT_EQ(ReadWholeFile(log_), "");
    LogLine("fresh file");
    EXPECT_EQ(Lines(ReadWholeFile(log_)).size(), 1u);
}

// A full file found at the start is rotated before the first line.
TEST_F(SupportLogTest, KeepsTwoRotatedCopiesAndDiscardsTheOldest) {
    ASSERT_TRUE(WriteWholeFile(log_, std::string(kLogRotateBytes, 'A')));
    LogOpen(scratch_.path(), L"");  // rotation 1: A moves to .1
    EXPECT_EQ(ReadWholeFile(log_ + L".1"), std::string(kLogRotateBytes, 'A'));
    EXPECT_EQ(ReadWholeFile(log_), "");
    EXPECT_EQ(LogPath(), log_);
    LogLine(std::string(kLogRotateBytes, 'B'));  // rotation 2
    EXPECT_EQ(ReadWholeFile(log_ + L".2"), std::string(kLogRotateBytes, 'A'));
    EXPECT_EQ(ReadWholeFile(log_ + L".1").find('B'), 21u);
    LogLine(std::string(kLogRotateBytes, 'C'));  // rotation 3: A is gone
    EXPECT_EQ(ReadWholeFile(log_ + L".2").find('B'), 21u);
    EXPECT_EQ(ReadWholeFile(log_ + L".1").find('C'), 21u);
    EXPECT_EQ(ReadWholeFile(log_), "");
    EXPECT_FALSE(FileExists(log_ + L".3"));
}

TEST_F(SupportLogTest, UnusableDirectoriesAreSkippedSilently) {
    // A plain file where the first directory should be, then a log held by another writer.
    const std::wstring not_a_directory = scratch_.Join(L"file");
    ASSERT_TRUE(WriteWholeFile(not_a_directory, "x"));
    const std::wstring busy = scratch_.Join(L"busy");
    ASSERT_TRUE(::CreateDirectoryW(busy.c_str(), nullptr));
    unique_hfile holder(::CreateFileW((busy + L"\\patcher.log").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.is_valid());

    LogOpen(not_a_directory, busy);
    EXPECT_EQ(LogPath(), L"");
    LogLine("goes nowhere");

    const std::wstring second = scratch_.Join(L"second\\nested");
    LogOpen(not_a_directory, second);
    EXPECT_EQ(LogPath(), second + L"\\patcher.log");
    // While open, another LogOpen changes nothing.
    LogOpen(scratch_.path(), L"");
    EXPECT_EQ(LogPath(), second + L"\\patcher.log");
    LogLine("lands in the second directory");
    EXPECT_EQ(Lines(ReadWholeFile(second + L"\\patcher.log")).size(), 1u);
    EXPECT_FALSE(FileExists(scratch_.Join(L"patcher.log")));
}

DWORD WINAPI LogFromThread(void* parameter) {
    const int id = *static_cast<int*>(parameter);
    for (int i = 0; i < 300; ++i) {
        LogLine("thread " + std::to_string(id) + " line " + std::to_string(i) + " " +
                std::string(100, static_cast<char>('a' + id)));
    }
    return 0;
}

TEST_F(SupportLogTest, LinesFromManyThreadsNeverInterleave) {
    LogOpen(scratch_.path(), L"");
    int ids[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<unique_handle> threads;
    std::vector<HANDLE> raw;
    for (int& id : ids) {
        threads.emplace_back(::CreateThread(nullptr, 0, LogFromThread, &id, 0, nullptr));
        ASSERT_TRUE(threads.back().is_valid());
        raw.push_back(threads.back().get());
    }
    ::WaitForMultipleObjects(static_cast<DWORD>(raw.size()), raw.data(), TRUE, INFINITE);
    const std::vector<std::string> lines = Lines(ReadWholeFile(log_));
    ASSERT_EQ(lines.size(), 8u * 300u);
    const std::regex shape(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ thread (\d) line \d+ ([a-h])\2{99}$)");
    int per_thread[8] = {};
    for (const std::string& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        const int id = match[1].str()[0] - '0';
        EXPECT_EQ(match[2].str()[0], 'a' + id);
        ++per_thread[id];
    }
    for (int count : per_thread) EXPECT_EQ(count, 300);
}

}  // namespace
}  // namespace patcher::win
