// How a single line of text is shortened to a width: the longest start of it that fits together
// with "…". The platform measures; the rule is here, so the painter and the UI self-test shorten
// alike and the rule is tested without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace patcher::model {

using TextMeasure = std::function<std::int32_t(const std::wstring& text)>;

// `text` itself when it fits in `room` pixels; otherwise its longest start (never half of a
// surrogate pair, no trailing spaces) followed by "…", or "…" alone.
std::wstring FitToWidth(const std::wstring& text, std::int32_t room, const TextMeasure& measure);

}  // namespace patcher::model
