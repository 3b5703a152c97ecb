// The last error across a handle's close.
#include <gtest/gtest.h>

#include <windows.h>

#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

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
