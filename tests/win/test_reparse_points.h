// Making symbolic links and junctions from inside a test, where the platform allows it.
#pragma once

#include <string>

namespace patcher::win::testing {

// A directory symbolic link at `link` to `target`; false with `error` when it cannot be made.
bool MakeDirectorySymlink(const std::wstring& link, const std::wstring& target,
                          unsigned long& error);

// A junction (mount-point reparse point) at `link`, a new empty directory, to the absolute
// directory `target`; false with `error` when it cannot be made.
bool MakeJunction(const std::wstring& link, const std::wstring& target, unsigned long& error);

}  // namespace patcher::win::testing
