// The file-system and hashing self-tests run by the real executable, as support staff would run
// them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/sha256.h"
#include "tests/app/test_run_patcher.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace win;

namespace {

using testing::ReportValue;
using testing::RunPatcher;
using win::testing::FileExists;
using win::testing::ReadWholeFile;
using win::testing::ScratchDirectory;
using win::testing::WriteWholeFile;

using Report = std::vector<std::pair<std::string, std::string>>;

// The report holds each KEY: value pair and the run ends with the exit code.
void ExpectReport(const testing::PatcherRun& run, const Report& expected,
                  std::uint32_t exit_code = 0) {
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(ReportValue(run.output, key), value) << key << " in\n" << run.output;
    }
    EXPECT_EQ(run.exit_code, exit_code) << run.output;
}

class SelfTestFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!FileExists(testing::PatcherExecutablePath())) {
            GTEST_SKIP() << "the patcher executable is not built";
        }
    }

    testing::PatcherRun Run(const std::wstring& name, const std::wstring& data_dir,
                            const std::wstring& extra = L"") {
        testing::PatcherRun run = RunPatcher(L"--headless --self-test " + name + extra +
                                             L" --data-dir \"" + data_dir + L"\"");
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timed_out);
        return run;
    }

    ScratchDirectory scratch_{L"selftest"};
};

TEST_F(SelfTestFilesTest, KilledWriterLeavesTheVictimIntact) {
    const testing::PatcherRun run = Run(L"atomic-interrupt", scratch_.path());
    EXPECT_NE(run.output.find("\r\n  CHILD wrote 65536 bytes, dying\r\nCHILD_EXIT: 99\r\n"),
              std::string::npos)
        << run.output;
    const std::string before = ReportValue(run.output, "BEFORE_SHA256");
    EXPECT_EQ(before.size(), 64u);
    // The killed child's half-written temporary file is what a crash leaves: 64 KiB of 'N'.
    ExpectReport(run, {{"AFTER_SHA256", before},
                       {"DESTINATION_INTACT", "yes"},
                       {"TMP_PRESENT", "yes"},
                       {"TMP_SIZE", "65536"},
                       {"ATOMIC_INTERRUPT", "OK"}});
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"atomic-victim.bin.tmp")), std::string(65536, 'N'));
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"atomic-victim.bin")).size(), 262144u);

    // A second run starts clean even though the dead writer's file is still there.
    ExpectReport(Run(L"atomic-interrupt", scratch_.path()), {{"ATOMIC_INTERRUPT", "OK"}});
}

TEST_F(SelfTestFilesTest, AttackerCannotTouchTheTemporaryFile) {
    const testing::PatcherRun run = Run(L"verify-move-window", scratch_.path());
    for (const char* key : {"ATTACKER_WRITE_OPEN", "ATTACKER_RENAME_OVER"}) {
        EXPECT_EQ(ReportValue(run.output, key).rfind("BLOCKED error=", 0), 0u) << run.output;
    }
    ExpectReport(run, {{"TEMP", WideToUtf8(scratch_.Join(L"window-victim.bin.tmp"))},
                       {"COMMIT", "OK"},
                       {"LANDED_SHA256", ReportValue(run.output, "EXPECTED_SHA256")},
                       {"VERIFY_MOVE_WINDOW", "CLOSED"}});
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"window-decoy.bin")), std::string(4096, 'D'));
}

TEST_F(SelfTestFilesTest, ParallelOverwriteReplacesEveryFile) {
    ExpectReport(Run(L"overwrite-parallel", scratch_.path()), {{"FILES", "400"},
                                                               {"SEEDED_READONLY", "134"},
                                                               {"THREADS_STARTED", "8"},
                                                               {"COMMIT_FAILURES", "0"},
                                                               {"WRONG_CONTENT", "0"},
                                                               {"LEFTOVER_TMP", "0"},
                                                               {"RESULT", "OK"}});
    // Spot checks from outside: the read-only seeds were replaced too.
    for (const wchar_t* name : {L"file-0.bin", L"file-3.bin", L"file-200.bin", L"file-399.bin"}) {
        const std::string content = ReadWholeFile(scratch_.Join(L"overwrite-parallel\\") + name);
        EXPECT_EQ(content.rfind("new-", 0), 0u) << WideToUtf8(name);
    }
}

TEST_F(SelfTestFilesTest, DiskSpaceAllowsAMebibyteAndRefusesAnExbibyte) {
    ExpectReport(Run(L"disk-space", scratch_.path()),
                 {{"NEED_1MB", "ALLOW"}, {"NEED_1EB", "REFUSE"}, {"DISK_SPACE", "OK"}});
}

TEST_F(SelfTestFilesTest, InstallWritableReportsBothOutcomesWithExitZero) {
    const std::wstring install = scratch_.Join(L"game");
    ExpectReport(
        Run(L"install-writable", scratch_.path(), L" --install-dir \"" + install + L"\""),
        {{"INSTALL_DIR", WideToUtf8(install)}, {"WIN32_ERROR", "0"}, {"RESULT", "WRITABLE"}});

    const std::wstring blocked = scratch_.Join(L"plain-file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));
    const testing::PatcherRun run =
        Run(L"install-writable", scratch_.path(), L" --install-dir \"" + blocked + L"\"");
    ExpectReport(run, {{"WRITABLE", "no"}, {"RESULT", "NOT_WRITABLE"}});
    EXPECT_NE(ReportValue(run.output, "WIN32_ERROR"), "0");
}

TEST_F(SelfTestFilesTest, UnusableDataDirectoryIsASetupFailure) {
    const std::wstring blocked = scratch_.Join(L"plain-file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));
    const std::wstring below = blocked + L"\\data";
    EXPECT_EQ(ReportValue(Run(L"atomic-interrupt", below).output, "ATOMIC_INTERRUPT"),
              "SETUP_FAILED");
    EXPECT_EQ(ReportValue(Run(L"verify-move-window", below).output, "VERIFY_MOVE_WINDOW"),
              "SETUP_FAILED");
    ExpectReport(
        Run(L"overwrite-parallel", below),
        {{"RESULT", "SETUP_FAILED: cannot create " + WideToUtf8(below + L"\\overwrite-parallel")}},
        1);
    ExpectReport(Run(L"disk-space", below), {{"DISK_SPACE", "QUERY_FAILED"}}, 1);
}

// Twelve SAME lines whose digests are those of the documented buffers, and the OK verdict.
TEST_F(SelfTestFilesTest, HashAgreementReportsTwelveAgreeingDigests) {
    const testing::PatcherRun run = Run(L"hash-agreement", scratch_.path());
    ExpectReport(run, {{"HASH_AGREEMENT", "OK"}});
    const std::size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 127, 128, 1000, 65536, 65537};
    std::vector<std::string> lines;
    std::istringstream in(run.output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("  SAME ", 0) == 0 || line.rfind("  DIFF ", 0) == 0) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), std::size(sizes)) << run.output;
    for (std::size_t k = 0; k < std::size(sizes); ++k) {
        std::string buffer(sizes[k], '\0');
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<char>((31 * k + 7 * i) % 256);
        }
        const std::string digest = Sha256Hex(buffer);
        EXPECT_EQ(lines[k], "  SAME " + std::to_string(sizes[k]) + " core=" + digest +
                                " cng=" + digest + "\r");
    }
}

}  // namespace
}  // namespace patcher::app
