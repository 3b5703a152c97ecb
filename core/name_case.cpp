#include "core/name_case.h"

#include <algorithm>
#include <iterator>

#include "core/utf8.h"

namespace patcher {
namespace {

struct UpcaseRun {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t stride;
    std::int32_t delta;
};

constexpr UpcaseRun kUpcaseRuns[] = {
#include "core/upcase_table.inc"
};

// The next character's upper case, consumed from `text`.
std::uint32_t NextFolded(std::string_view& text) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeUtf8(text, code_point);
    if (length == 0) {
        code_point = 0x110000u + static_cast<unsigned char>(text[0]);
        text.remove_prefix(1);
        return code_point;
    }
    text.remove_prefix(length);
    return UpcaseForNames(code_point);
}

}  // namespace

std::uint32_t UpcaseForNames(std::uint32_t code_point) {
    if (code_point < 0x80) {
        return code_point >= 'a' && code_point <= 'z' ? code_point - 'a' + 'A' : code_point;
    }
    const auto after =
        std::upper_bound(std::begin(kUpcaseRuns), std::end(kUpcaseRuns), code_point,
                         [](std::uint32_t c, const UpcaseRun& run) { return c < run.first; });
    if (after == std::begin(kUpcaseRuns)) return code_point;
    const UpcaseRun& run = *std::prev(after);
    if (code_point > run.last || (code_point - run.first) % run.stride != 0) return code_point;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(code_point) + run.delta);
}

int CompareNamesIgnoringCase(std::string_view a, std::string_view b) {
    while (!a.empty() && !b.empty()) {
        const std::uint32_t x = NextFolded(a);
        const std::uint32_t y = NextFolded(b);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.empty() ? (b.empty() ? 0 : -1) : 1;
}

}  // namespace patcher
