// One file on its way to disk, as one download worker assembles it in its partial file: the bytes
// already there are hashed, every byte that arrives from the server or is copied from the old
// copy is hashed and appended, and the run's progress counts every fetched byte of the file once,
// however often its transfer starts over. Bytes reach the partial file in batches: under Wine each
// WriteFile of a TLS record's few KiB costs as much as the copy, and eight workers' small writes
// take longer than the whole transfer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "win/engine/download_pool.h"
#include "win/platform/atomic_file.h"

namespace patcher::win {

class Transfer {
  public:
    Transfer(DownloadShared& shared, AtomicFile& file, std::uint64_t expected)
        : shared_(shared), file_(file), expected_(expected) {}
    // What is still batched goes to the partial file, so that a cancelled or failed file keeps it.
    ~Transfer() { WriteOut(); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // The bytes an earlier attempt left; a file longer than the manifest's is started afresh.
    bool TakeOverExisting();
    bool Restart();

    // Holds bytes that just crossed the wire until the run's speed limit has room for them, and
    // with them this worker's next read; false (cancelled) once the run winds down meanwhile.
    bool Pace(std::uint32_t length);
    // Bytes from the server; false once the run winds down.
    bool Accept(const char* bytes, std::uint32_t length);
    // Bytes of the file decoded from its compressed form, whose own bytes are counted as they
    // cross the wire.
    bool AcceptDecoded(const char* bytes, std::uint32_t length);
    // Bytes of the file a delta made from the old copy; the delta's own bytes are counted as they
    // cross the wire, by the delta's transfer.
    bool AcceptPatched(const char* bytes, std::uint32_t length);
    // Bytes copied from the old copy of the file.
    bool Reuse(const char* bytes, std::uint32_t length);
    // Bytes that crossed the wire but are no part of the file: a chunk index, a compressed form.
    void CountWireBytes(std::uint64_t length) { fetched_ += length; }
    // The progress bar measures what is fetched: bytes the old copy will give are taken off it.
    void ExpectReuse(std::uint64_t bytes);
    // The same for bytes the run's total already leaves out, so that ExpectReuse(0) adds them back.
    void PlanReuse(std::uint64_t bytes) { expected_reuse_ = bytes; }

    // Writes what is batched; before the file is committed. False, with disk_full() telling why,
    // when the write fails.
    bool WriteOut();

    void Progress() { Count(); }
    // Adds what this file fetched and reused to the run's totals, once the file is done.
    void Settle();

    std::uint64_t have() const { return have_; }
    std::uint64_t fetched() const { return fetched_; }
    std::uint64_t reused() const { return reused_; }
    std::uint64_t expected() const { return expected_; }
    bool cancelled() const { return cancelled_; }
    // A write to the partial file failed because the volume is full.
    bool disk_full() const;
    DownloadShared& shared() { return shared_; }
    void MarkCancelled() { cancelled_ = true; }
    void Drop();
    std::string Digest();

  private:
    void Hash(const char* bytes, std::uint32_t length);
    bool Write(const char* bytes, std::uint32_t length);
    bool WriteNow(const char* bytes, std::uint32_t length);
    void Count();

    DownloadShared& shared_;
    AtomicFile& file_;
    std::uint64_t expected_;
    Sha256 hasher_;
    std::vector<char> batch_;
    std::uint64_t have_ = 0;
    std::uint64_t reused_ = 0;
    std::uint64_t patched_ = 0;
    std::uint64_t expected_reuse_ = 0;
    std::uint64_t counted_ = 0;
    std::uint32_t write_error_ = 0;  // of the last failed write; the HTTP call that follows may
                                     // leave another last error behind
    std::uint64_t fetched_ = 0;
    bool write_failed_ = false;
    bool cancelled_ = false;
};

}  // namespace patcher::win
