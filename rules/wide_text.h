// UTF-8 to the wide strings the window shows, without the platform: the window's rules are built
// and tested off Windows too, where wchar_t holds UTF-32 rather than UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace patcher::rules {

// Every byte that does not start a well-formed sequence (overlong forms, surrogates, values above
// U+10FFFF and cut-off sequences are not) becomes one U+FFFD; code points above U+FFFF become
// surrogate pairs where wchar_t is 16 bits.
std::wstring WidenUtf8(std::string_view utf8);

}  // namespace patcher::rules
