#include "win/engine/file_transfer.h"

#include "core/hex.h"
#include "win/engine/phase_clock.h"

namespace patcher::win {

bool Transfer::TakeOverExisting() {
    if (!file_.Size(have_)) return false;
    if (have_ > expected_) return Restart();
    if (have_ == 0) return true;
    if (!file_.ReadExisting([this](const char* bytes, std::uint32_t length) {
            hasher_.Update(bytes, length);
            return true;
        })) {
        return false;
    }
    Count();
    return true;
}

bool Transfer::Restart() {
    hasher_ = Sha256();
    have_ = 0;
    reused_ = 0;
    // Whatever the old copy was to give now comes from the server after all.
    ExpectReuse(0);
    return file_.Truncate();
}

void Transfer::Hash(const char* bytes, std::uint32_t length) {
    const PhaseTimer timer(DownloadPhase::Hash);
    hasher_.Update(bytes, length);
}

bool Transfer::Write(const char* bytes, std::uint32_t length) {
    const PhaseTimer timer(DownloadPhase::Write);
    if (file_.Write(bytes, length)) return true;
    write_error_ = GetLastError();
    return false;
}

bool Transfer::disk_full() const {
    return write_error_ == ERROR_DISK_FULL || write_error_ == ERROR_HANDLE_DISK_FULL;
}

bool Transfer::Accept(const char* bytes, std::uint32_t length) {
    if (!AcceptDecoded(bytes, length)) return false;
    fetched_ += length;
    return true;
}

bool Transfer::AcceptDecoded(const char* bytes, std::uint32_t length) {
    if (IsCancelled(shared_)) {
        cancelled_ = true;
        return false;
    }
    Hash(bytes, length);
    if (!Write(bytes, length)) return false;
    have_ += length;
    return true;
}

bool Transfer::Reuse(const char* bytes, std::uint32_t length) {
    Hash(bytes, length);
    if (!Write(bytes, length)) return false;
    have_ += length;
    reused_ += length;
    return true;
}

void Transfer::ExpectReuse(std::uint64_t bytes) {
    const std::lock_guard<std::mutex> hold(shared_.lock);
    shared_.progress.bytes_total += expected_reuse_;
    shared_.progress.bytes_total -=
        bytes < shared_.progress.bytes_total ? bytes : shared_.progress.bytes_total;
    expected_reuse_ = bytes;
}

// The bytes of the file that did not come from the old copy, each counted once.
void Transfer::Count() {
    const std::uint64_t bytes = have_ - reused_;
    if (bytes <= counted_) return;
    const PhaseTimer timer(DownloadPhase::Progress);
    const std::lock_guard<std::mutex> hold(shared_.lock);
    shared_.progress.bytes_done += bytes - counted_;
    counted_ = bytes;
    if (shared_.on_progress) shared_.on_progress(shared_.progress);
}

void Transfer::Settle() {
    const std::lock_guard<std::mutex> hold(shared_.lock);
    shared_.progress.bytes_fetched += fetched_;
    shared_.progress.bytes_reused += reused_;
    // A file that failed is reported too, so that the totals are right however the run ends.
    if (shared_.on_progress) shared_.on_progress(shared_.progress);
}

void Transfer::Drop() {
    file_.Discard();
    have_ = 0;
}

std::string Transfer::Digest() {
    return HexEncode(hasher_.Finish());
}

}  // namespace patcher::win
