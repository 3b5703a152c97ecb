// Moving a validated release set from staging ("pending") to accepted ("current").
#pragma once

#include <string>

namespace patcher::win {

// The completion marker is removed first and written last, so a promotion cut short leaves an
// incomplete set that is never used as a fallback.
bool PromoteRelease(const std::wstring& staging_directory, const std::wstring& accepted_directory);

}  // namespace patcher::win
