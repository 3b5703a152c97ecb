// Partial files whose release has moved on: what an interrupted download left for a file the
// current download will not fetch (another release's bytes, an entry that left the manifest, or a
// file that is already right) only takes room, so it goes before the next download starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace patcher::win {

// Deletes every partial file below `install_directory` whose full path is not in `keep` (compared
// without letter case), without entering linked folders. Answers how many it deleted.
std::uint32_t DeleteStalePartials(const std::wstring& install_directory,
                                  const std::vector<std::wstring>& keep);

}  // namespace patcher::win
