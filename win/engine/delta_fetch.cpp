#include "win/engine/delta_fetch.h"

#include <windows.h>

#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "core/binary_delta.h"
#include "rules/download_plan.h"
#include "rules/resume_rules.h"
#include "win/engine/form_fetch.h"
#include "win/platform/cng_sha256.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr std::size_t kTagDigits = 12;

// The size of an old copy a delta may start from; nullopt-like 0 for none the decoder can hold.
std::uint64_t DeltaSourceSize(HANDLE file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart <= 0) return 0;
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    return bytes <= kDeltaMaxFileBytes ? bytes : 0;
}

std::string OldCopyDigest(const std::wstring& path) {
    const unique_hfile file = OpenPlainFileForReading(path);
    if (!file || DeltaSourceSize(file.get()) == 0) return std::string();
    return CngSha256OfHandle(file.get());
}

// The whole old copy, the decoder's prefix, held while one delta decodes.
bool ReadOldCopy(const std::wstring& path, std::string& bytes, std::string& why) {
    const unique_hfile file = OpenPlainFileForReading(path);
    const std::uint64_t size = file ? DeltaSourceSize(file.get()) : 0;
    if (size == 0) {
        why = "the old copy is no plain file of its own that a delta can start from";
        return false;
    }
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        why = "there is no room in memory for the old copy";
        return false;
    }
    for (std::uint64_t done = 0; done < size;) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(size - done, 1u << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), &bytes[static_cast<std::size_t>(done)], want, &got, nullptr) ||
            got != want) {
            why = "the old copy cannot be read";
            return false;
        }
        done += got;
    }
    return true;
}

// Decodes the delta in `delta_file` onto `transfer`, holding both copies of the file meanwhile.
DecodeResult Decode(const DiffItem& item, const std::wstring& old_copy, AtomicFile& delta_file,
                    Transfer& transfer, std::string& why) {
    // Two copies of a file of up to 128 MiB each: more than one at a time would not fit a 32-bit
    // process beside everything else.
    const std::lock_guard<std::mutex> one_at_a_time(transfer.shared().delta_decode);
    std::string old_bytes;
    if (!ReadOldCopy(old_copy, old_bytes, why)) return DecodeResult::Fallback;
    DeltaDecoder decoder(old_bytes, transfer.expected());
    const bool read = delta_file.ReadExisting([&](const char* bytes, std::uint32_t length) {
        return decoder.Feed(bytes, length, [&](const char* made, std::uint32_t size) {
            return transfer.AcceptPatched(made, size);
        });
    });
    if (transfer.cancelled()) return DecodeResult::Cancelled;
    if (read && decoder.done()) return DecodeResult::Decoded;
    if (!decoder.why().empty()) {
        why = "the delta is refused: " + decoder.why();
    } else if (!read && transfer.have() == 0) {
        why = "the delta's partial file " + WideToUtf8(delta_file.temp_path()) + " cannot be read";
    } else {
        why = "the delta does not make the whole file of " + std::to_string(item.size) + " bytes";
    }
    return DecodeResult::Fallback;
}

}  // namespace

std::wstring OldCopyPath(const DiffItem& item, const std::wstring& install_directory) {
    if (item.path == kPatcherManifestPath) return ExecutablePath();
    return JoinPath(install_directory, Utf8ToWide(item.path));
}

std::wstring DeltaPartialPathOf(const std::wstring& destination, const DiffItem& item) {
    return PartialPathOf(
        destination + Utf8ToWide(kDeltaInfix) + Utf8ToWide(item.old_sha256.substr(0, kTagDigits)),
        item.sha256);
}

void PlanReleaseDeltas(const BodySource& source, const std::wstring& base_url,
                       const std::wstring& install_directory, CheckOutcome& outcome) {
    outcome.fetch_bytes = FetchBytes(outcome.diff);
    if (outcome.diff.empty()) return;
    std::unordered_set<std::string> wanted;
    for (const DiffItem& item : outcome.diff) wanted.insert(item.sha256);
    std::string text;
    const HttpResponse response =
        FetchReleaseList(source, base_url, kDeltaListName, kDeltaListCapBytes, text);
    if (response.error != HttpError::Ok) {
        LogLine("check: no list of deltas: " + DescribeResponse(response));
        return;
    }
    const std::vector<DeltaListing> deltas = ParseDeltaList(text, wanted);
    std::unordered_set<std::string> targets;
    for (const DeltaListing& delta : deltas) targets.insert(delta.new_sha256);
    // Only a file some delta leads to is worth reading; its old copy's digest picks the delta.
    // A copy the records know is not read at all.
    std::size_t hashed = 0;
    for (DiffItem& item : outcome.diff) {
        if (item.reason == DiffReason::Missing || targets.count(item.sha256) == 0) continue;
        if (item.old_sha256.empty()) {
            item.old_sha256 = OldCopyDigest(OldCopyPath(item, install_directory));
            ++hashed;
        }
    }
    PlanDeltas(outcome.diff, deltas);
    outcome.fetch_bytes = FetchBytes(outcome.diff);
    std::size_t planned = 0;
    for (const DiffItem& item : outcome.diff) planned += item.delta_bytes != 0 ? 1 : 0;
    LogLine("check: " + std::to_string(planned) + " of " + std::to_string(outcome.diff.size()) +
            " file(s) are made from a delta of the copy on disk (" + std::to_string(hashed) +
            " copies hashed, the others known from their records); " +
            std::to_string(outcome.fetch_bytes) + " bytes to fetch for " +
            std::to_string(outcome.download_bytes) + " bytes of files");
}

DecodeResult FetchAndDecodeDelta(const BodySource& source, const DiffItem& item,
                                 const std::wstring& old_copy, AtomicFile& delta_file,
                                 Transfer& transfer, std::string& why) {
    DiffItem delta_item;
    delta_item.path = "the delta of " + item.path;
    delta_item.url = item.url + kDeltaInfix + item.old_sha256;
    Transfer delta(transfer.shared(), delta_file, item.delta_bytes);
    DecodeResult result = DecodeResult::Fallback;
    if (!delta.TakeOverExisting()) {
        why = "the delta's partial file " + WideToUtf8(delta_file.temp_path()) + " cannot be read";
    } else {
        DownloadError error;
        const DownloadCode fetched = FetchRest(source, delta_item, item.delta_bytes, delta, error);
        const bool written = delta.WriteOut();
        delta.Settle();
        if (delta.cancelled()) {
            transfer.MarkCancelled();
            return DecodeResult::Cancelled;
        }
        if (fetched != DownloadCode::Committed) {
            why = error.diagnostic;
        } else if (!written) {
            why = "cannot write " + WideToUtf8(delta_file.temp_path());
        } else {
            result = Decode(item, old_copy, delta_file, transfer, why);
        }
    }
    if (result == DecodeResult::Cancelled) {
        // The delta waits whole for the next run, which decodes it again from the start.
        transfer.Restart();
        return result;
    }
    // A delta that made its file is spent, one that did not would only mislead again, and an
    // empty one is clutter; part of one waits for the next attempt.
    if (result == DecodeResult::Decoded || delta.have() == item.delta_bytes || delta.have() == 0) {
        delta_file.Discard();
    }
    return result;
}

}  // namespace patcher::win
