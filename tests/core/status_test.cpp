#include "core/status.h"

#include <gtest/gtest.h>

namespace patcher {
namespace {

TEST(ResultTest, FailureWithSuccessCodeStaysAFailure) {
    Result<int> r{Status()};
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.status().code, StatusCode::BadInput);
}

}  // namespace
}  // namespace patcher
