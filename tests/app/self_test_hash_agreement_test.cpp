// `--self-test hash-agreement` run by the real executable: twelve SAME lines whose digests are
// those of the documented buffers, and the OK verdict.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "tests/app/test_run_patcher.h"
#include "tests/win/test_scratch_directory.h"

namespace patcher::app {
namespace {

TEST(HashAgreementSelfTest, ReportsTwelveAgreeingDigests) {
    if (!win::testing::FileExists(testing::PatcherExecutablePath())) {
        GTEST_SKIP() << "the patcher executable is not built";
    }
    win::testing::ScratchDirectory scratch(L"hashagree");
    const testing::PatcherRun run = testing::RunPatcher(
        L"--headless --self-test hash-agreement --data-dir \"" + scratch.path() + L"\"");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(testing::ReportValue(run.output, "HASH_AGREEMENT"), "OK") << run.output;

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
