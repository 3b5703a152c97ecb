// How an interrupted download carries on, as plain functions of data: where a file's received
// bytes wait for the rest, which answer to a ranged request may be appended to them, and which
// failures are worth another attempt within the same run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rules/http_types.h"

namespace patcher::rules {

// Attempts per file within one run, and the pause before the second and the third.
inline constexpr std::uint32_t kDownloadAttempts = 3;
std::uint32_t RetryPauseMs(std::uint32_t next_attempt);

// The connection failed or was cut short, the deadline passed or the server answered 5xx. A 4xx,
// a local failure or a body the manifest refuses would only fail again.
bool IsRetryable(HttpError error, std::uint32_t status);

// A body that ends before the `wanted` bytes have come is a cut transfer, also when nothing
// announced its length (a close-delimited body, or a chunked one a proxy ends early).
HttpError BodyOutcome(HttpError error, std::uint64_t got, std::uint64_t wanted);

// Where a manifest entry's bytes wait beside its destination: "<destination>~<12 hex>.g2part",
// the hex being the start of the entry's SHA-256, so that another release's bytes never pass for
// this one's. A manifest path never contains "~", so no game file can carry such a name.
std::wstring PartialPathOf(const std::wstring& destination, const std::string& sha256);
bool IsPartialFileName(std::wstring_view name);

// What to do with the answer to a request for the bytes from `offset` on of a file of `size`
// bytes: append a 206 that covers exactly the rest, start over on a 200, refuse anything else.
enum class RangeAnswer { Append, Restart, Refuse };
RangeAnswer ClassifyBodyStart(const HttpBodyStart& start, std::uint64_t offset, std::uint64_t size);

// A 206 that carries exactly bytes first..first+length-1 of a resource, whatever its total.
bool IsExactRange(const HttpBodyStart& start, std::uint64_t first, std::uint64_t length);

// "Range: bytes=A-B" for `length` bytes from `first`.
std::wstring RangeHeader(std::uint64_t first, std::uint64_t length);

// "Range: bytes=N-" for a file that already has N bytes, no header for one that has none.
std::wstring RangeHeader(std::uint64_t offset);

}  // namespace patcher::rules
