// How a failed system call reads in the support log and in diagnostics: what failed, then the code
// in parentheses. Only a number is formatted here, so the rule is shared by every layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace patcher::rules {

// "what (label N)"; the label is "error" except where a log line has always said otherwise.
std::string WithError(std::string_view what, std::uint32_t code, std::string_view label = "error");
std::wstring WithError(std::wstring_view what, std::uint32_t code,
                       std::wstring_view label = L"error");

}  // namespace patcher::rules
