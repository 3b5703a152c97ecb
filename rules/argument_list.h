// A command line as the list of its arguments after the program name, and the two lookups both
// front ends and the demo's launcher use on it.
#pragma once

#include <string>
#include <vector>

namespace patcher::rules {

using ArgumentList = std::vector<std::wstring>;

// True when some argument equals `text` exactly (case-sensitive, whole token).
bool HasArgument(const ArgumentList& arguments, const std::wstring& text);
// The argument after the first one equal to `text`; empty when there is none or it is the last.
std::wstring ArgumentValue(const ArgumentList& arguments, const std::wstring& text);

}  // namespace patcher::rules
