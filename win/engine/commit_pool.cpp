#include "win/engine/commit_pool.h"

#include <utility>

#include "win/engine/phase_clock.h"

namespace patcher::win {

CommitPool::CommitPool(std::uint32_t threads, std::uint32_t backlog, CommitDone done,
                       std::mutex& phase_lock, DownloadPhaseTotals& phases)
    : backlog_(backlog == 0 ? 1 : backlog),
      done_(std::move(done)),
      phase_lock_(phase_lock),
      phases_(phases) {
    for (std::uint32_t i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back(&CommitPool::Run, this);
        } catch (const std::exception&) {
            break;  // fewer threads only means longer waits; none means the workers commit
        }
    }
}

CommitPool::~CommitPool() {
    Finish();
}

void CommitPool::Commit(CommitJob& job) noexcept {
    const std::uint64_t start = PhaseNow();
    const bool committed = job.file->Commit();
    AddPhase(DownloadPhase::Commit, PhaseNow() - start);
    done_(job, committed);
    job.file.reset();
}

void CommitPool::Submit(CommitJob job) {
    {
        std::unique_lock<std::mutex> hold(lock_);
        if (!threads_.empty() && !finishing_) {
            const PhaseTimer timer(DownloadPhase::Handoff);
            taken_.wait(hold, [this] { return jobs_.size() < backlog_; });
            jobs_.push_back(std::move(job));
            queued_.notify_one();
            return;
        }
    }
    Commit(job);
}

void CommitPool::Finish() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        finishing_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void CommitPool::Run() noexcept {
    DownloadPhaseTotals totals;
    {
        const PhaseRecording recording(totals);
        for (;;) {
            CommitJob job;
            {
                std::unique_lock<std::mutex> hold(lock_);
                queued_.wait(hold, [this] { return finishing_ || !jobs_.empty(); });
                if (jobs_.empty()) break;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            taken_.notify_one();
            Commit(job);
        }
    }
    const std::lock_guard<std::mutex> hold(phase_lock_);
    phases_.Merge(totals);
}

}  // namespace patcher::win
