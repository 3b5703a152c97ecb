#include "core/status.h"

#include <gtest/gtest.h>

namespace patcher {
namespace {

TEST(ResultTest, FailureWithSuccessCodeStaysAFailure) {
    Result<int> r{Status()};
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.status().code, StatusCode::BadInput);
}

TEST(ResultTest, ValueIsTaken) {
    Result<std::string> r{std::string("abc")};
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r.status().ok());
    EXPECT_EQ(std::move(r).value(), "abc");
}

}  // namespace
}  // namespace patcher
