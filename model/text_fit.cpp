#include "model/text_fit.h"

#include "rules/wide_text.h"

namespace patcher::model {

using namespace rules;

namespace {

constexpr wchar_t kEllipsis = L'\u2026';

std::wstring Shortened(const std::wstring& text, std::size_t length) {
    while (length > 0 && text[length - 1] == L' ') --length;
    return text.substr(0, length) + kEllipsis;
}

}  // namespace

std::wstring FitToWidth(const std::wstring& text, std::int32_t room, const TextMeasure& measure) {
    if (measure(text) <= room) return text;
    // Widths grow with the length of the start: find the longest start that fits by halving.
    std::size_t fits = 0, too_long = text.size();
    while (too_long - fits > 1) {
        const std::size_t middle = fits + (too_long - fits) / 2;
        if (measure(Shortened(text, middle)) <= room) {
            fits = middle;
        } else {
            too_long = middle;
        }
    }
    if (fits > 0 && IsHighSurrogate(text[fits - 1])) --fits;
    return Shortened(text, fits);
}

}  // namespace patcher::model
