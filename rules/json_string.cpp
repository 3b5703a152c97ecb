#include "rules/json_string.h"

namespace patcher::rules {
namespace {

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    return at;
}

// The character an escape stands for, or 0 when the escape is not one we accept.
char Unescaped(char escaped) {
    return escaped == '"' || escaped == '\\' || escaped == '/' ? escaped : 0;
}

}  // namespace

bool ExtractJsonString(std::string_view text, std::string_view name, std::size_t max_length,
                       std::string& value) {
    value.clear();
    // Reserved once, so that a key never leaves copies behind in blocks a reallocation freed.
    value.reserve(max_length);
    const std::string quoted = "\"" + std::string(name) + "\"";
    const std::size_t found = text.find(quoted);
    if (found == std::string_view::npos) return false;
    std::size_t at = SkipBlanks(text, found + quoted.size());
    if (at >= text.size() || text[at] != ':') return false;
    at = SkipBlanks(text, at + 1);
    if (at >= text.size() || text[at] != '"') return false;
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') return value.size() <= max_length;
        if (c == '\\') {
            if (++at >= text.size() || (c = Unescaped(text[at])) == 0) return false;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
        if (value.size() >= max_length) return false;
        value += c;
    }
    return false;
}

}  // namespace patcher::rules
