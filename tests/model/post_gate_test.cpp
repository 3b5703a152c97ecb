#include "model/post_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace patcher::model {
namespace {

// Eight workers reporting at once between two releases post exactly once per release.
TEST(PostGate, ABurstFromManyWorkersPostsOncePerRelease) {
    PostGate gate;
    for (int round = 0; round < 3; ++round) {
        std::atomic<int> posts{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < 8; ++w) {
            workers.emplace_back([&] {
                for (int i = 0; i < 1000; ++i) posts += gate.Claim() ? 1 : 0;
            });
        }
        for (std::thread& worker : workers) worker.join();
        EXPECT_EQ(posts.load(), 1) << "round " << round;
        gate.Release();
    }
}

}  // namespace
}  // namespace patcher::model
