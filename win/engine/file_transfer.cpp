#include "win/engine/file_transfer.h"

#include "core/hex.h"
#include "win/engine/download_pace.h"
#include "win/engine/phase_clock.h"

namespace patcher::win {

using namespace rules;

namespace {
// Large enough that writes cost little beside the bytes, small enough for eight workers' batches.
constexpr std::size_t kWriteBatchBytes = 256 * 1024;
}  // namespace

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
    patched_ = 0;
    // Whatever the old copy was to give now comes from the server after all.
    ExpectReuse(0);
    batch_.clear();
    write_failed_ = false;
    return file_.Truncate();
}

void Transfer::Hash(const char* bytes, std::uint32_t length) {
    const PhaseTimer timer(DownloadPhase::Hash);
    hasher_.Update(bytes, length);
}

// A failed write loses bytes already hashed and counted in have_: the file takes no byte more until
// it starts over, or a later attempt would carry on past a gap and verify.
bool Transfer::Write(const char* bytes, std::uint32_t length) {
    if (write_failed_) return false;
    if (batch_.size() + length > kWriteBatchBytes && !WriteOut()) return false;
    if (length >= kWriteBatchBytes) return WriteNow(bytes, length);
    if (batch_.capacity() < kWriteBatchBytes) batch_.reserve(kWriteBatchBytes);
    batch_.insert(batch_.end(), bytes, bytes + length);
    return true;
}

bool Transfer::WriteOut() {
    if (write_failed_) return false;
    if (batch_.empty()) return true;
    const bool written = WriteNow(batch_.data(), static_cast<std::uint32_t>(batch_.size()));
    batch_.clear();
    return written;
}

bool Transfer::WriteNow(const char* bytes, std::uint32_t length) {
    const PhaseTimer timer(DownloadPhase::Write);
    if (file_.Write(bytes, length)) return true;
    write_error_ = GetLastError();
    write_failed_ = true;
    return false;
}

bool Transfer::disk_full() const {
    return write_error_ == ERROR_DISK_FULL || write_error_ == ERROR_HANDLE_DISK_FULL;
}

bool Transfer::Pace(std::uint32_t length) {
    if (shared_.pace == nullptr) return true;
    if (shared_.pace->Admit(length, [this] { return IsCancelled(shared_); })) return true;
    cancelled_ = true;
    return false;
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

bool Transfer::AcceptPatched(const char* bytes, std::uint32_t length) {
    if (!AcceptDecoded(bytes, length)) return false;
    patched_ += length;
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

// The bytes of the file that did not come from the old copy or a delta, each counted once.
void Transfer::Count() {
    const std::uint64_t bytes = have_ - reused_ - patched_;
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
    batch_.clear();
    file_.Discard();
    have_ = 0;
}

std::string Transfer::Digest() {
    return HexEncode(hasher_.Finish());
}

}  // namespace patcher::win
