// Bounded reading and the strict line rules that every signed document is held to, with the small
// lexical helpers the document parsers share. Views returned here borrow from the text passed in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher {

inline constexpr std::uint64_t kMaxDocumentBytes = 1048576;

// Paths are UTF-8 (core/file_path.h).
// True unless nothing is there: a file that exists but cannot be opened counts as existing.
bool FileExists(const std::string& path);
// The size of a file that can be opened for reading.
bool GetFileSize(const std::string& path, std::uint64_t& size);

// The whole file, refused unread when it is empty or larger than kMaxDocumentBytes.
Result<std::string> ReadTextFile(const std::string& path, const std::string& label);

Status CheckTextFormat(std::string_view text, const std::string& label);

std::vector<std::string_view> SplitLines(std::string_view text);
std::vector<std::string_view> SplitFields(std::string_view line);

std::string PrintableCopy(std::string_view bytes);
bool IsDigits(std::string_view text);
bool IsIsoUtc(std::string_view text);
bool IsLowerHex64(std::string_view text);
std::string_view FindHeaderField(std::string_view text, std::string_view key);
bool ParseU64(std::string_view text, std::uint64_t& value);
// The leading decimal digits as a number, stopping at the first other byte or before the digit
// that would overflow 64 bits; 0 when the text does not start with a digit.
std::uint64_t LeadingU64(std::string_view text);
bool IsAtOrAfter(std::string_view a, std::string_view b);
std::string CurrentUtcTimestamp();

}  // namespace patcher
