// The one piece of JSON the patcher reads: a string member of the key service's answer. Nothing
// else of the document is checked; the first member of that name anywhere in the text wins.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace patcher::rules {

// The value of the string member `name`, unescaped (only \" \\ and \/ are known), at most
// `max_length` bytes. False for a missing member, a value that is not a string, an unknown escape,
// a control character, an unterminated or over-long value.
bool ExtractJsonString(std::string_view text, std::string_view name, std::size_t max_length,
                       std::string& value);

}  // namespace patcher::rules
