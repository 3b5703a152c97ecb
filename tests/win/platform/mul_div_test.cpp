// The window's own MulDiv must round and overflow exactly as the one in Windows does.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>

#include "model/layout.h"

namespace patcher::win {

using namespace model;

namespace {

TEST(PortableMulDivTest, AgreesWithWindows) {
    const std::int32_t values[] = {0, 1, -1, 2, 3, 5, -5, 7, 8, 36, 1000, 46341, INT_MAX, -INT_MAX};
    for (const std::int32_t a : values) {
        for (const std::int32_t b : values) {
            for (const std::int32_t c : values) {
                EXPECT_EQ(PortableMulDiv(a, b, c), ::MulDiv(a, b, c)) << a << "*" << b << "/" << c;
            }
        }
    }
}

}  // namespace
}  // namespace patcher::win
