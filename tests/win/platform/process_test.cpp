// StartProcess against the launch tests' stand-in game (channel_game.exe beside this test), and the
// last error across a handle's close.
#include "win/platform/process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

std::wstring StandInGame() {
    wchar_t self[MAX_PATH + 1] = {};
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/")) + L"\\channel_game.exe";
}

TEST(ProcessTest, AMissingExecutableIsAnErrorValue) {
    const StartedProcess started = StartProcess({StandInGame() + L".missing", L"quit"});
    EXPECT_FALSE(started.ok());
    EXPECT_EQ(started.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(started.list_failure.empty());
}

// "probe H" exits 8 when the handle value H is open in the child, 7 when it is not.
TEST(ProcessTest, OnlyListedHandlesReachTheChild) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const unique_handle listed(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    const unique_handle unlisted(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(listed && unlisted);
    const struct {
        HANDLE probed;
        DWORD exit_code;
    } cases[] = {{listed.get(), 8}, {unlisted.get(), 7}};
    for (const auto& c : cases) {
        ProcessStart start{StandInGame(),
                           L"probe " + std::to_wstring(reinterpret_cast<std::uintptr_t>(c.probed))};
        start.inherit = {listed.get()};
        StartedProcess started = StartProcess(start);
        ASSERT_TRUE(started.ok()) << started.error << started.list_failure;
        const unique_handle process = started.process.take_process();
        started.process.reset();
        ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(process.get(), &code));
        EXPECT_EQ(code, c.exit_code) << c.exit_code;
    }
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
