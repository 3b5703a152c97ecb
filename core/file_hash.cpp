#include "core/file_hash.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "core/hex.h"
#include "core/sha256.h"

namespace patcher {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

Result<std::string> HashFileSha256(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return Status(StatusCode::ContentMismatch, "cannot open file: " + path);

    std::vector<std::uint8_t> chunk(kFileHashChunkBytes);
    Sha256 hasher;
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        if (got > 0) hasher.Update(chunk.data(), got);
        if (got < chunk.size()) break;
    }
    // A short read is either the end of the file or a failure; only the error flag tells which.
    if (std::ferror(file.get())) {
        return Status(StatusCode::ContentMismatch, "cannot read file: " + path);
    }
    return HexEncode(hasher.Finish());
}

}  // namespace patcher
