#include "model/format_size.h"

namespace patcher::model {

std::wstring FormatSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKb = 1024, kMb = kKb * 1024, kGb = kMb * 1024;
    if (bytes < kKb) return std::to_wstring(bytes) + L" B";
    std::uint64_t unit = kKb;
    const wchar_t* name = L" KB";
    if (bytes >= kGb) {
        unit = kGb;
        name = L" GB";
    } else if (bytes >= kMb) {
        unit = kMb;
        name = L" MB";
    }
    // The remainder is below the unit (at most 2^30), so times 10 cannot overflow.
    const std::uint64_t tenth = (bytes % unit) * 10 / unit;
    return std::to_wstring(bytes / unit) + L"," + std::to_wstring(tenth) + name;
}

}  // namespace patcher::model
