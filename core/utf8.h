// UTF-8 read strictly, one code point at a time: no overlong form, surrogate or value past
// U+10FFFF, so that every accepted text has exactly one UTF-16 form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace patcher {

// The length of the valid sequence at the start of `bytes` and its code point; 0 when the first
// byte does not start one (bad lead, cut short, bad continuation, overlong, surrogate, too large)
// or `bytes` is empty.
std::size_t DecodeUtf8(std::string_view bytes, std::uint32_t& code_point);

bool IsValidUtf8(std::string_view bytes);

// How many UTF-16 units Windows holds the valid UTF-8 text in.
std::size_t Utf16Length(std::string_view utf8);

}  // namespace patcher
