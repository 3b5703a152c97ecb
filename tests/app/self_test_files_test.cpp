// The file-system self-tests run by the real executable, as support staff would run them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/test_run_patcher.h"
#include "tests/win/test_scratch_directory.h"
#include "win/platform/text.h"

namespace patcher::win {
namespace {

using testing::FileExists;
using testing::ReadWholeFile;
using testing::ReportKeys;
using testing::ReportValue;
using testing::RunPatcher;
using testing::ScratchDirectory;
using testing::WriteWholeFile;

using Keys = std::vector<std::string>;

class SelfTestFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!FileExists(testing::PatcherExecutablePath())) {
            GTEST_SKIP() << "the patcher executable is not built";
        }
    }

    testing::PatcherRun Run(const std::wstring& name, const std::wstring& data_dir) {
        testing::PatcherRun run =
            RunPatcher(L"--headless --self-test " + name + L" --data-dir \"" + data_dir + L"\"");
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timed_out);
        return run;
    }

    ScratchDirectory scratch_{L"selftest"};
};

TEST_F(SelfTestFilesTest, NoopPrintsItsVerdict) {
    const testing::PatcherRun run = Run(L"noop", scratch_.path());
    EXPECT_EQ(run.output, "NOOP: OK\r\n");
    EXPECT_EQ(run.exit_code, 0u);
}

TEST_F(SelfTestFilesTest, KilledWriterLeavesTheVictimIntact) {
    const testing::PatcherRun run = Run(L"atomic-interrupt", scratch_.path());
    EXPECT_EQ(ReportKeys(run.output),
              (Keys{"VICTIM", "BEFORE_SHA256", "CHILD_EXIT", "AFTER_SHA256", "TMP_PRESENT",
                    "TMP_SIZE", "DESTINATION_INTACT", "ATOMIC_INTERRUPT"}))
        << run.output;
    EXPECT_NE(run.output.find("\r\n  CHILD wrote 65536 bytes, dying\r\nCHILD_EXIT: 99\r\n"),
              std::string::npos)
        << run.output;
    const std::string before = ReportValue(run.output, "BEFORE_SHA256");
    EXPECT_EQ(before.size(), 64u);
    EXPECT_EQ(ReportValue(run.output, "AFTER_SHA256"), before);
    EXPECT_EQ(ReportValue(run.output, "DESTINATION_INTACT"), "yes");
    // The killed child's half-written temporary file is what a crash leaves: 64 KiB of 'N'.
    EXPECT_EQ(ReportValue(run.output, "TMP_PRESENT"), "yes");
    EXPECT_EQ(ReportValue(run.output, "TMP_SIZE"), "65536");
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"atomic-victim.bin.tmp")), std::string(65536, 'N'));
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"atomic-victim.bin")).size(), 262144u);
    EXPECT_EQ(ReportValue(run.output, "ATOMIC_INTERRUPT"), "OK");
    EXPECT_EQ(run.exit_code, 0u);

    // A second run starts clean even though the dead writer's file is still there.
    const testing::PatcherRun again = Run(L"atomic-interrupt", scratch_.path());
    EXPECT_EQ(ReportValue(again.output, "ATOMIC_INTERRUPT"), "OK") << again.output;
}

TEST_F(SelfTestFilesTest, AttackerCannotTouchTheTemporaryFile) {
    const testing::PatcherRun run = Run(L"verify-move-window", scratch_.path());
    EXPECT_EQ(ReportKeys(run.output),
              (Keys{"TEMP", "ATTACKER_WRITE_OPEN", "ATTACKER_RENAME_OVER", "COMMIT",
                    "EXPECTED_SHA256", "LANDED_SHA256", "VERIFY_MOVE_WINDOW"}))
        << run.output;
    EXPECT_EQ(ReportValue(run.output, "TEMP"), WideToUtf8(scratch_.Join(L"window-victim.bin.tmp")));
    EXPECT_EQ(ReportValue(run.output, "ATTACKER_WRITE_OPEN").rfind("BLOCKED error=", 0), 0u);
    EXPECT_EQ(ReportValue(run.output, "ATTACKER_RENAME_OVER").rfind("BLOCKED error=", 0), 0u);
    EXPECT_EQ(ReportValue(run.output, "COMMIT"), "OK");
    EXPECT_EQ(ReportValue(run.output, "LANDED_SHA256"), ReportValue(run.output, "EXPECTED_SHA256"));
    EXPECT_EQ(ReportValue(run.output, "VERIFY_MOVE_WINDOW"), "CLOSED");
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(ReadWholeFile(scratch_.Join(L"window-decoy.bin")), std::string(4096, 'D'));
}

TEST_F(SelfTestFilesTest, ParallelOverwriteReplacesEveryFile) {
    const testing::PatcherRun run = Run(L"overwrite-parallel", scratch_.path());
    EXPECT_EQ(ReportKeys(run.output),
              (Keys{"SELF_TEST", "DIRECTORY", "FILES", "WORKERS", "SEEDED_READONLY",
                    "THREADS_STARTED", "ELAPSED_MS", "COMMIT_FAILURES",
                    "COMMIT_FAILURES_ON_READONLY", "WRONG_CONTENT", "LEFTOVER_TMP", "RESULT"}))
        << run.output;
    EXPECT_EQ(ReportValue(run.output, "FILES"), "400");
    EXPECT_EQ(ReportValue(run.output, "SEEDED_READONLY"), "134");
    EXPECT_EQ(ReportValue(run.output, "THREADS_STARTED"), "8");
    EXPECT_EQ(ReportValue(run.output, "COMMIT_FAILURES"), "0");
    EXPECT_EQ(ReportValue(run.output, "WRONG_CONTENT"), "0");
    EXPECT_EQ(ReportValue(run.output, "LEFTOVER_TMP"), "0");
    EXPECT_EQ(ReportValue(run.output, "RESULT"), "OK");
    EXPECT_EQ(run.exit_code, 0u);
    // Spot checks from outside: the read-only seeds were replaced too.
    for (const wchar_t* name : {L"file-0.bin", L"file-3.bin", L"file-200.bin", L"file-399.bin"}) {
        const std::string content = ReadWholeFile(scratch_.Join(L"overwrite-parallel\\") + name);
        EXPECT_EQ(content.rfind("new-", 0), 0u) << WideToUtf8(name);
    }
}

TEST_F(SelfTestFilesTest, DiskSpaceAllowsAMebibyteAndRefusesAnExbibyte) {
    const testing::PatcherRun run = Run(L"disk-space", scratch_.path());
    EXPECT_EQ(ReportKeys(run.output),
              (Keys{"VOLUME", "FREE_BYTES", "NEED_1MB", "NEED_1EB", "DISK_SPACE"}))
        << run.output;
    EXPECT_EQ(ReportValue(run.output, "NEED_1MB"), "ALLOW");
    EXPECT_EQ(ReportValue(run.output, "NEED_1EB"), "REFUSE");
    EXPECT_EQ(ReportValue(run.output, "DISK_SPACE"), "OK");
    EXPECT_EQ(run.exit_code, 0u);
}

TEST_F(SelfTestFilesTest, InstallWritableReportsBothOutcomesWithExitZero) {
    const std::wstring install = scratch_.Join(L"game");
    testing::PatcherRun run =
        RunPatcher(L"--headless --self-test install-writable --install-dir \"" + install +
                   L"\" --data-dir \"" + scratch_.path() + L"\"");
    EXPECT_EQ(ReportKeys(run.output),
              (Keys{"SELF_TEST", "INSTALL_DIR", "WRITABLE", "WIN32_ERROR", "RESULT"}))
        << run.output;
    EXPECT_EQ(ReportValue(run.output, "INSTALL_DIR"), WideToUtf8(install));
    EXPECT_EQ(ReportValue(run.output, "RESULT"), "WRITABLE");
    EXPECT_EQ(ReportValue(run.output, "WIN32_ERROR"), "0");
    EXPECT_EQ(run.exit_code, 0u);

    const std::wstring blocked = scratch_.Join(L"plain-file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));
    run = RunPatcher(L"--headless --self-test install-writable --install-dir \"" + blocked +
                     L"\" --data-dir \"" + scratch_.path() + L"\"");
    EXPECT_EQ(ReportValue(run.output, "WRITABLE"), "no");
    EXPECT_NE(ReportValue(run.output, "WIN32_ERROR"), "0");
    EXPECT_EQ(ReportValue(run.output, "RESULT"), "NOT_WRITABLE");
    EXPECT_EQ(run.exit_code, 0u);
}

TEST_F(SelfTestFilesTest, UnusableDataDirectoryIsASetupFailure) {
    const std::wstring blocked = scratch_.Join(L"plain-file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));
    const std::wstring below = blocked + L"\\data";
    EXPECT_EQ(ReportValue(Run(L"atomic-interrupt", below).output, "ATOMIC_INTERRUPT"),
              "SETUP_FAILED");
    EXPECT_EQ(ReportValue(Run(L"verify-move-window", below).output, "VERIFY_MOVE_WINDOW"),
              "SETUP_FAILED");
    const testing::PatcherRun parallel = Run(L"overwrite-parallel", below);
    EXPECT_EQ(ReportValue(parallel.output, "RESULT"),
              "SETUP_FAILED: cannot create " + WideToUtf8(below + L"\\overwrite-parallel"));
    EXPECT_EQ(parallel.exit_code, 1u);
    const testing::PatcherRun disk = Run(L"disk-space", below);
    EXPECT_EQ(ReportValue(disk.output, "DISK_SPACE"), "QUERY_FAILED");
    EXPECT_EQ(disk.exit_code, 1u);
}

}  // namespace
}  // namespace patcher::win
