// Why a download ended before its files were in place, as the player is told it: a headline that
// says what happened and what to do, and a detail line that names the file and the reason.
#pragma once

#include <string>

#include "rules/download_failure.h"

namespace patcher::model {

// Wide, for the window's status region.
std::wstring DownloadFailureHeadline(rules::DownloadFailure kind);
std::wstring DownloadFailureDetail(const rules::DownloadFault& fault);

}  // namespace patcher::model
