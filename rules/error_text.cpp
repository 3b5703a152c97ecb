#include "rules/error_text.h"

namespace patcher::rules {

std::string WithError(std::string_view what, std::uint32_t code, std::string_view label) {
    std::string text(what);
    text.append(" (").append(label).append(" ").append(std::to_string(code)).append(")");
    return text;
}

std::wstring WithError(std::wstring_view what, std::uint32_t code, std::wstring_view label) {
    std::wstring text(what);
    text.append(L" (").append(label).append(L" ").append(std::to_wstring(code)).append(L")");
    return text;
}

}  // namespace patcher::rules
