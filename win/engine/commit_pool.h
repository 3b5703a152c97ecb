// Verified files land under their names on threads of their own. A commit is a flush, a rename and
// a flush, which on a many-file install cost a worker about as much as fetching a small file; the
// worker's next request need not wait for them. Each file is still flushed before it is renamed
// over its destination, through the handle that wrote it: after a crash at any point a destination
// holds its old bytes or the verified new ones, and a verified file whose commit never ran stays
// whole in its partial file, which the next run reads back and verifies again.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/download_phases.h"
#include "win/platform/atomic_file.h"

namespace patcher::win {

struct CommitJob {
    std::unique_ptr<AtomicFile> file;
    std::uint32_t index = 0;
};

// Told of each job after its commit was tried, on the thread that tried it; must not throw.
using CommitDone = std::function<void(CommitJob&, bool committed)>;

class CommitPool {
  public:
    // The threads' phase times are added to `phases` under `phase_lock` as each thread ends.
    CommitPool(std::uint32_t threads, std::uint32_t backlog, CommitDone done,
               std::mutex& phase_lock, DownloadPhaseTotals& phases);
    ~CommitPool();
    CommitPool(const CommitPool&) = delete;
    CommitPool& operator=(const CommitPool&) = delete;

    // Queues a verified file, waiting while the backlog is full. Without a thread to take it (none
    // could be started) the caller commits it itself.
    void Submit(CommitJob job);
    // Commits everything queued and ends the threads; later jobs are committed by their callers.
    void Finish();

  private:
    void Run() noexcept;
    void Commit(CommitJob& job) noexcept;

    const std::uint32_t backlog_;
    const CommitDone done_;
    std::mutex& phase_lock_;
    DownloadPhaseTotals& phases_;
    std::mutex lock_;
    std::condition_variable queued_;
    std::condition_variable taken_;
    std::deque<CommitJob> jobs_;
    bool finishing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace patcher::win
