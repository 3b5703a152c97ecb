#include "rules/resume_rules.h"

#include "rules/http_rules.h"

namespace patcher::rules {
namespace {

constexpr std::wstring_view kPartialSuffix = L".g2part";
constexpr std::size_t kTagDigits = 12;

bool IsLowerHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
}

}  // namespace

std::uint32_t RetryPauseMs(std::uint32_t next_attempt) {
    return next_attempt <= 2 ? 500 : 1000;
}

bool IsRetryable(HttpError error, std::uint32_t status) {
    switch (error) {
        case HttpError::NoConnection:
        case HttpError::Timeout:
        case HttpError::Truncated:
            return true;
        case HttpError::HttpStatus:
            return status >= 500 && status <= 599;
        default:
            return false;
    }
}

HttpError BodyOutcome(HttpError error, std::uint64_t got, std::uint64_t wanted) {
    return error == HttpError::Ok && got < wanted ? HttpError::Truncated : error;
}

std::wstring PartialPathOf(const std::wstring& destination, const std::string& sha256) {
    std::wstring path = destination + L"~";
    for (std::size_t i = 0; i < kTagDigits && i < sha256.size(); ++i) {
        path += static_cast<wchar_t>(static_cast<unsigned char>(sha256[i]));
    }
    return path + std::wstring(kPartialSuffix);
}

bool IsPartialFileName(std::wstring_view name) {
    const std::size_t tail = 1 + kTagDigits + kPartialSuffix.size();
    if (name.size() <= tail || name.substr(name.size() - kPartialSuffix.size()) != kPartialSuffix) {
        return false;
    }
    const std::wstring_view tag = name.substr(name.size() - tail, 1 + kTagDigits);
    if (tag.front() != L'~') return false;
    for (wchar_t c : tag.substr(1)) {
        if (!IsLowerHexDigit(c)) return false;
    }
    return true;
}

RangeAnswer ClassifyBodyStart(const HttpBodyStart& start, std::uint64_t offset,
                              std::uint64_t size) {
    if (start.status == 200) return RangeAnswer::Restart;
    if (start.status != 206 || offset == 0 || offset >= size) return RangeAnswer::Refuse;
    const std::optional<ContentRange> range = ParseContentRange(start.content_range);
    if (!range || range->first != offset || range->last != size - 1) return RangeAnswer::Refuse;
    if (range->length && *range->length != size) return RangeAnswer::Refuse;
    return RangeAnswer::Append;
}

bool IsExactRange(const HttpBodyStart& start, std::uint64_t first, std::uint64_t length) {
    if (start.status != 206 || length == 0) return false;
    const std::optional<ContentRange> range = ParseContentRange(start.content_range);
    return range && range->first == first && range->last == first + length - 1 &&
           (!range->length || *range->length > range->last);
}

std::wstring RangeHeader(std::uint64_t first, std::uint64_t length) {
    return L"Range: bytes=" + std::to_wstring(first) + L"-" + std::to_wstring(first + length - 1);
}

std::wstring RangeHeader(std::uint64_t offset) {
    return offset == 0 ? std::wstring() : L"Range: bytes=" + std::to_wstring(offset) + L"-";
}

}  // namespace patcher::rules
