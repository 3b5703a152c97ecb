#include "tools/release/object_deltas.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/binary_delta.h"
#include "core/file_hash.h"
#include "core/hex.h"
#include "core/sha256.h"
#include "core/text.h"
#include "tools/release/file_io.h"
#include "tools/release/object_forms.h"

namespace patcher::release {
namespace {

// The smallest window that holds the larger copy, as zstd --patch-from picks it, so every match
// into the old copy stays within reach.
int WindowLogFor(std::uint64_t bytes) {
    int log = 10;  // zstd's smallest window
    while (log < kDeltaMaxWindowLog && (std::uint64_t{1} << log) < bytes) ++log;
    return log;
}

Status Mismatch(const std::string& message) {
    return Status(StatusCode::ContentMismatch, message);
}

Result<std::string> ReadOldObject(const std::string& old_object) {
    Result<std::string> bytes = ReadWholeFile(old_object, kDeltaMaxFileBytes);
    if (!bytes.ok()) return Mismatch("the object " + old_object + " cannot be read whole");
    return bytes;
}

}  // namespace

std::vector<DeltaPair> ChooseDeltaPairs(const std::vector<ManifestFile>& files,
                                        std::vector<PublishedRelease> older, std::uint64_t counter,
                                        int count) {
    older.erase(std::remove_if(older.begin(), older.end(),
                               [&](const auto& release) { return release.counter >= counter; }),
                older.end());
    std::sort(older.begin(), older.end(),
              [](const auto& a, const auto& b) { return a.counter > b.counter; });
    if (older.size() > static_cast<std::size_t>(std::max(count, 0))) older.resize(count);
    std::vector<std::map<std::string, const ReleaseFile*>> paths(older.size());
    for (std::size_t i = 0; i < older.size(); ++i) {
        for (const ReleaseFile& file : older[i].files) paths[i][file.path] = &file;
    }
    const auto fits = [](std::uint64_t size) { return size > 0 && size <= kDeltaMaxFileBytes; };
    std::vector<DeltaPair> pairs;
    std::set<std::pair<std::string, std::string>> seen;
    for (const ManifestFile& file : files) {
        if (!fits(file.size)) continue;
        for (const auto& release : paths) {
            const auto old = release.find(file.path);
            if (old == release.end() || old->second->sha256 == file.sha256 ||
                !fits(old->second->size) ||
                !seen.emplace(file.sha256, old->second->sha256).second) {
                continue;
            }
            pairs.push_back({file.sha256, file.size, old->second->sha256, old->second->size});
        }
    }
    return pairs;
}

Result<std::uint64_t> WriteDelta(const std::string& old_object, const std::string& old_sha256,
                                 const std::string& new_object, int level, std::uint64_t below,
                                 const std::string& delta) {
    Result<std::string> old = ReadOldObject(old_object);
    if (!old.ok()) return old.status();
    // A patcher holds the bytes the manifest names, so a delta from other bytes would only fail.
    if (Sha256Hex(old.value()) != old_sha256) {
        return Mismatch("the object " + old_object + " does not hash to its name");
    }
    Result<std::string> target = ReadWholeFile(new_object, kDeltaMaxFileBytes);
    if (!target.ok()) return target.status();
    if (below <= 1) return std::uint64_t{0};
    const std::string& in = target.value();

    ZSTD_CCtx* context = ZSTD_createCCtx();
    if (context == nullptr) return Status(StatusCode::BadInput, "no zstd compressor could be made");
    std::size_t got = 0;
    for (const auto& [parameter, value] :
         {std::pair{ZSTD_c_compressionLevel, level},
          std::pair{ZSTD_c_windowLog, WindowLogFor(std::max(old.value().size(), in.size()))},
          std::pair{ZSTD_c_enableLongDistanceMatching, 1}, std::pair{ZSTD_c_contentSizeFlag, 1},
          std::pair{ZSTD_c_checksumFlag, 0}}) {
        if (!ZSTD_isError(got)) got = ZSTD_CCtx_setParameter(context, parameter, value);
    }
    if (!ZSTD_isError(got))
        got = ZSTD_CCtx_refPrefix(context, old.value().data(), old.value().size());
    // Room for one byte less than it must beat: a delta that does not fit is not worth writing.
    std::string out(std::min<std::uint64_t>(below - 1, ZSTD_compressBound(in.size())), '\0');
    if (!ZSTD_isError(got))
        got = ZSTD_compress2(context, out.data(), out.size(), in.data(), in.size());
    ZSTD_freeCCtx(context);
    if (ZSTD_isError(got)) {
        if (ZSTD_getErrorCode(got) == ZSTD_error_dstSize_tooSmall) return std::uint64_t{0};
        return Status(StatusCode::BadInput, "zstd could not make a delta for " + new_object + ": " +
                                                ZSTD_getErrorName(got));
    }
    out.resize(got);
    const Status status = WriteNewFile(delta, out, kServedFileMode);
    if (!status.ok()) return status;
    return std::uint64_t{got};
}

Status CheckDelta(const std::string& delta, const std::string& old_object, std::uint64_t size,
                  const std::string& sha256) {
    Result<std::string> old = ReadOldObject(old_object);
    if (!old.ok()) return old.status();
    DeltaDecoder decoder(old.value(), size);
    const std::string why = WhyNotDecoded(delta, decoder, sha256);
    if (why.empty()) return Status::Success();
    return Mismatch("the delta " + delta + " " + why);
}

}  // namespace patcher::release
