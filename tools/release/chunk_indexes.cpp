#include "tools/release/chunk_indexes.h"

#include "core/chunk_index.h"
#include "core/file_hash.h"
#include "tools/release/file_io.h"

namespace patcher::release {

bool WantsChunkIndex(std::uint64_t size) {
    return size >= kChunkIndexMinFileBytes;
}

Status WriteChunkIndexes(const std::vector<ServedFile>& files, unsigned mode, int& written) {
    written = 0;
    for (const ServedFile& file : files) {
        if (!WantsChunkIndex(file.size)) continue;
        Result<std::string> index = ChunkIndexOfFile(file.path);
        if (!index.ok()) return index.status();
        const std::string name = file.path + kChunkIndexSuffix;
        if (PathExists(name)) {
            return Status(StatusCode::BadInput,
                          "cannot write the chunk index " + name + ": a game file has that name");
        }
        const Status status = WriteNewFile(name, index.value(), mode);
        if (!status.ok()) return status;
        ++written;
    }
    return Status::Success();
}

Status CheckChunkIndex(const std::string& file) {
    const std::string name = file + kChunkIndexSuffix;
    if (!PathExists(name)) return Status(StatusCode::BadInput, "no chunk index beside " + file);
    Result<std::string> expected = ChunkIndexOfFile(file);
    if (!expected.ok()) return expected.status();
    // An index as large as its own file's could be is as large as any honest one gets.
    Result<std::string> served = ReadWholeFile(name, expected.value().size() + 1);
    if (!served.ok() || served.value() != expected.value()) {
        return Status(StatusCode::BadFormat,
                      name + " does not describe " + file + " as the publisher's chunking cuts it");
    }
    return Status::Success();
}

}  // namespace patcher::release
