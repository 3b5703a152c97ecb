#include "rules/argument_list.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

TEST(ArgumentLookupTest, ExactTokensOnly) {
    const ArgumentList list = {L"--base-url", L"https://a/live", L"--Headless", L"--data-dir"};
    EXPECT_FALSE(HasArgument(list, L"--headless"));
    EXPECT_TRUE(HasArgument(list, L"--Headless"));
    EXPECT_EQ(ArgumentValue(list, L"--base-url"), L"https://a/live");
    EXPECT_EQ(ArgumentValue(list, L"--data-dir"), L"");  // last element: no value
    EXPECT_EQ(ArgumentValue(list, L"--install-dir"), L"");
}

}  // namespace
}  // namespace patcher::rules
