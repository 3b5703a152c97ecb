// Byte counts as players read them, in Turkish number style.
#pragma once

#include <cstdint>
#include <string>

namespace patcher::model {

// "1023 B", "1,5 KB", "1023,9 MB", "2,0 GB": one decimal digit, truncated, Turkish decimal comma.
std::wstring FormatSize(std::uint64_t bytes);

}  // namespace patcher::model
