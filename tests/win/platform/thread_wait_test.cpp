#include "win/platform/thread_wait.h"

#include <gtest/gtest.h>

#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

DWORD WINAPI BlockOnEvent(void* event) {
    ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST(WaitForThreadsTest, ReportsStuckThreadsAtTheLimitAndNoneOnceTheyEnd) {
    unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release);
    std::vector<unique_handle> owned;
    std::vector<HANDLE> threads;
    for (int i = 0; i < 3; ++i) {
        owned.emplace_back(::CreateThread(nullptr, 0, BlockOnEvent, release.get(), 0, nullptr));
        ASSERT_TRUE(owned.back());
        threads.push_back(owned.back().get());
    }
    EXPECT_EQ(WaitForThreads(threads, 100), 3u);
    ::SetEvent(release.get());
    EXPECT_EQ(WaitForThreads(threads, 30000), 0u);
    EXPECT_EQ(WaitForThreads({}, 0), 0u);
}

}  // namespace
}  // namespace patcher::win
