#include "model/text_fit.h"

#include <gtest/gtest.h>

namespace patcher::model {
namespace {

// Ten pixels a character, whatever it is; a surrogate pair is one character drawn.
std::int32_t Monospaced(const std::wstring& text) {
    std::int32_t width = 0;
    for (wchar_t c : text) width += (c >= 0xDC00 && c <= 0xDFFF) ? 0 : 10;
    return width;
}

TEST(FitToWidth, KeepsWhatFitsAndOtherwiseEndsWithAnEllipsis) {
    const struct {
        std::wstring text;
        std::int32_t room;
        std::wstring shown;
    } cases[] = {
        {L"Oyun güncel", 110, L"Oyun güncel"},
        {L"Oyun güncel", 109, L"Oyun günc\u2026"},
        {L"Oyun güncel", 60, L"Oyun\u2026"},  // no space before the ellipsis
        {L"Oyun güncel", 10, L"\u2026"},
        {L"Oyun güncel", 0, L"\u2026"},
        {L"ab\U0001F600cd", 40, L"ab\U0001F600\u2026"},
        {L"ab\U0001F600cd", 35, L"ab\u2026"},
        {L"", 0, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.room);
        EXPECT_EQ(FitToWidth(c.text, c.room, Monospaced), c.shown);
    }
}

}  // namespace
}  // namespace patcher::model
