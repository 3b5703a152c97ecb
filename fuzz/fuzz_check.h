// Invariants the harnesses assert beyond what the sanitizers see.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/status.h"

namespace patcher::fuzz {

// A finding must stop the run loudly, including in builds that drop assert().
inline void Require(bool condition) {
    if (!condition) std::abort();
}

// A record's view must lie inside the text it was parsed from.
inline void RequireInside(std::string_view view, const std::string& text) {
    if (view.empty()) return;
    Require(view.data() >= text.data() && view.data() + view.size() <= text.data() + text.size());
}

// A failure always carries a code and a sentence.
inline void RequireFailureShape(const Status& status) {
    Require(!status.ok() && !status.message.empty());
}

}  // namespace patcher::fuzz
