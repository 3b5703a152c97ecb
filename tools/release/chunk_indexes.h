// The chunk indexes a release serves beside its large game files, so that patchers holding an
// older copy fetch only the chunks that changed. They are not signed and the manifest does not
// name them: a patcher that knows nothing of them fetches whole files as before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"

namespace patcher::release {

struct ServedFile {
    std::string path;  // on disk
    std::uint64_t size = 0;
};

// True for the files that get an index.
bool WantsChunkIndex(std::uint64_t size);

// Writes "<path>.chunks" beside each file that wants one, refusing to overwrite anything there.
Status WriteChunkIndexes(const std::vector<ServedFile>& files, unsigned mode, int& written);

// The index beside `file` is exactly the one its bytes give. A missing index is BadInput, one
// that differs BadFormat.
Status CheckChunkIndex(const std::string& file);

}  // namespace patcher::release
