#include "rules/argument_list.h"

namespace patcher::rules {

bool HasArgument(const ArgumentList& arguments, const std::wstring& text) {
    for (const std::wstring& argument : arguments) {
        if (argument == text) return true;
    }
    return false;
}

std::wstring ArgumentValue(const ArgumentList& arguments, const std::wstring& text) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == text) return i + 1 < arguments.size() ? arguments[i + 1] : L"";
    }
    return std::wstring();
}

}  // namespace patcher::rules
