// StartProcess's refusal of a missing executable, and the last error across a handle's close. What
// a started game inherits is the launch tests' (launch_game_test.cpp).
#include "win/platform/process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "win/platform/known_paths.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

TEST(ProcessTest, AMissingExecutableIsAnErrorValue) {
    const StartedProcess started = StartProcess({ExecutablePath() + L".missing", L""});
    EXPECT_FALSE(started.ok());
    EXPECT_EQ(started.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(started.list_failure.empty());
}

// A close that fails, as closing a handle twice does, must not replace the caller's error.
struct ClobberingTraits {
    using pointer = int;
    static pointer invalid() noexcept { return 0; }
    static void close(pointer) noexcept { SetLastError(ERROR_INVALID_HANDLE); }
};

TEST(UniqueHandleTest, ResetKeepsTheLastError) {
    unique_any<ClobberingTraits> held(1);
    SetLastError(ERROR_DISK_FULL);
    held.reset();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
}

}  // namespace
}  // namespace patcher::win
