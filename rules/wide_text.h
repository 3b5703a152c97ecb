// UTF-8 to the wide strings of the window and the Win32 calls and back, without the platform: the
// rules are built and tested off Windows too, where wchar_t holds UTF-32 rather than UTF-16, and a
// text converts the same under Windows and under Wine.
#pragma once

#include <string>
#include <string_view>

namespace patcher::rules {

// Every byte that does not start a well-formed sequence (overlong forms, surrogates, values above
// U+10FFFF and cut-off sequences are not) becomes one U+FFFD; code points above U+FFFF become
// surrogate pairs where wchar_t is 16 bits.
std::wstring WidenUtf8(std::string_view utf8);

// The first half of a UTF-16 surrogate pair, which text is never cut after.
bool IsHighSurrogate(char32_t unit);

// Wide text to UTF-8: surrogate pairs are joined, and a surrogate without its partner or a value
// above U+10FFFF becomes U+FFFD.
std::string NarrowToUtf8(std::wstring_view wide);

// The same, but false for text that has no exact UTF-8 form (Windows allows unpaired surrogates
// in file names), so a name handed on always converts back to the same wide text.
bool NarrowToUtf8Exact(std::wstring_view wide, std::string& utf8);

}  // namespace patcher::rules
