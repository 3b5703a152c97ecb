#include "rules/error_text.h"

#include <gtest/gtest.h>

namespace patcher::rules {
namespace {

// The extremes of a Win32 code: a signed or narrowed conversion would show -1 or wrap.
TEST(ErrorTextTest, CodesKeepTheirFullUnsignedValue) {
    EXPECT_EQ(WithError("cannot open x", 0), "cannot open x (error 0)");
    EXPECT_EQ(WithError("cannot open x", 4294967295u), "cannot open x (error 4294967295)");
    EXPECT_EQ(WithError(L"cannot delete y", 4294967295u, L"win32 error"),
              L"cannot delete y (win32 error 4294967295)");
}

}  // namespace
}  // namespace patcher::rules
