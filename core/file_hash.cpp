#include "core/file_hash.h"

#include <fstream>
#include <vector>

#include "core/chunk_index.h"
#include "core/file_path.h"
#include "core/hex.h"
#include "core/sha256.h"

namespace patcher {

Status ReadFilePieces(const std::string& path,
                      const std::function<void(const char*, std::size_t)>& sink) {
    const std::optional<std::filesystem::path> native = Utf8Path(path);
    std::ifstream file;
    if (native) file.open(*native, std::ios::binary);
    if (!file.is_open()) return Status(StatusCode::ContentMismatch, "cannot open file: " + path);

    std::vector<char> chunk(kFileHashChunkBytes);
    for (;;) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::streamsize got = file.gcount();
        if (got > 0) sink(chunk.data(), static_cast<std::size_t>(got));
        if (!file) break;
    }
    // A short read is either the end of the file or a failure; only the bad bit tells which.
    if (file.bad()) return Status(StatusCode::ContentMismatch, "cannot read file: " + path);
    return Status::Success();
}

Result<std::string> HashFileSha256(const std::string& path) {
    Sha256 hasher;
    const Status status =
        ReadFilePieces(path, [&](const char* bytes, std::size_t size) { hasher.Update(bytes, size); });
    if (!status.ok()) return status;
    return HexEncode(hasher.Finish());
}

Result<std::string> ChunkIndexOfFile(const std::string& path) {
    ChunkIndexBuilder builder;
    const Status status =
        ReadFilePieces(path, [&](const char* bytes, std::size_t size) { builder.Feed(bytes, size); });
    if (!status.ok()) return status;
    return builder.Finish();
}

}  // namespace patcher
