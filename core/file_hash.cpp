#include "core/file_hash.h"

#include <fstream>
#include <vector>

#include "core/file_path.h"
#include "core/hex.h"
#include "core/sha256.h"

namespace patcher {

Result<std::string> HashFileSha256(const std::string& path) {
    const std::optional<std::filesystem::path> native = Utf8Path(path);
    std::ifstream file;
    if (native) file.open(*native, std::ios::binary);
    if (!file.is_open()) return Status(StatusCode::ContentMismatch, "cannot open file: " + path);

    std::vector<char> chunk(kFileHashChunkBytes);
    Sha256 hasher;
    for (;;) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize got = file.gcount();
        if (got > 0) hasher.Update(chunk.data(), static_cast<std::size_t>(got));
        if (!file) break;
    }
    // A short read is either the end of the file or a failure; only the bad bit tells which.
    if (file.bad()) return Status(StatusCode::ContentMismatch, "cannot read file: " + path);
    return HexEncode(hasher.Finish());
}

}  // namespace patcher
