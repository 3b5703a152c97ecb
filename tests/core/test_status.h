// A refusal is held to its code and its whole message: the message is what the operator or the
// support log reads, so a changed word is a changed behaviour.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/status.h"

namespace patcher::test_support {

inline void ExpectStatus(const Status& status, StatusCode code, const std::string& message) {
    EXPECT_EQ(status.code, code) << status.message;
    EXPECT_EQ(status.message, message);
}

inline void ExpectBadFormat(const Status& status, const std::string& message) {
    ExpectStatus(status, StatusCode::BadFormat, message);
}

}  // namespace patcher::test_support
