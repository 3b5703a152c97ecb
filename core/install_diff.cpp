#include "core/install_diff.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

#include "core/file_hash.h"
#include "core/text.h"

namespace patcher {
namespace {

// How far one entry is examined: its existence only, its size too, or its content too.
enum class Depth { Presence, Size, Content };

struct Examination {
    std::string file;
    Depth depth = Depth::Content;
};

std::string AsciiLower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::vector<std::string> LoweredAll(const std::vector<std::string>& paths) {
    std::vector<std::string> lowered;
    lowered.reserve(paths.size());
    for (const std::string& path : paths) lowered.push_back(AsciiLower(path));
    return lowered;
}

bool Contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::optional<DiffReason> Examine(const FileEntry& entry, const Examination& what,
                                  VerifiedFiles* verified) {
    // The stamp tells the size too: under Wine every open of a file costs a round trip.
    const std::optional<FileStamp> before =
        verified && what.depth == Depth::Content ? verified->StampOf(what.file) : std::nullopt;
    std::uint64_t size = before ? before->size : 0;
    if (!before && !GetFileSize(what.file, size)) return DiffReason::Missing;
    if (what.depth == Depth::Presence) return std::nullopt;
    if (size != entry.size) return DiffReason::SizeMismatch;
    if (what.depth == Depth::Size) return std::nullopt;
    const std::string path(entry.path);
    if (before && verified->Vouches(path, *before, entry.sha256)) return std::nullopt;
    const Result<std::string> digest = HashFileSha256(what.file);
    if (!digest.ok() || digest.value() != entry.sha256) return DiffReason::HashMismatch;
    if (before) verified->Verified(path, what.file, *before, entry.sha256);
    return std::nullopt;
}

// Each entry's verdict lands in its own slot, so the threads share nothing but the next index and
// the result keeps manifest order whatever order the files finish in.
class DiffRun {
  public:
    DiffRun(const std::vector<FileEntry>& entries, std::vector<Examination> plan,
            std::vector<std::size_t> order, VerifiedFiles* verified)
        : entries_(entries),
          plan_(std::move(plan)),
          order_(std::move(order)),
          verified_(verified),
          verdicts_(entries.size()) {}

    void Work() {
        for (;;) {
            const std::size_t next = next_.fetch_add(1, std::memory_order_relaxed);
            if (next >= order_.size()) return;
            const std::size_t index = order_[next];
            try {
                verdicts_[index] = Examine(entries_[index], plan_[index], verified_);
            } catch (...) {
                // A file that could not be examined cannot be trusted: it goes on the list.
                verdicts_[index] = DiffReason::HashMismatch;
            }
        }
    }

    void RunOn(unsigned threads) {
        std::vector<std::thread> helpers;
        helpers.reserve(threads);
        for (unsigned i = 1; i < threads; ++i) {
            try {
                helpers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // fewer helpers only means a slower diff, never a different one
            }
        }
        Work();
        for (std::thread& helper : helpers) helper.join();
    }

    std::vector<DiffItem> Items() const {
        std::vector<DiffItem> items;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (!verdicts_[i]) continue;
            const FileEntry& e = entries_[i];
            DiffItem& item = items.emplace_back();
            item.path = e.path;
            item.url = e.url;
            item.size = e.size;
            item.sha256 = e.sha256;
            item.reason = *verdicts_[i];
        }
        return items;
    }

  private:
    const std::vector<FileEntry>& entries_;
    std::vector<Examination> plan_;
    std::vector<std::size_t> order_;
    VerifiedFiles* verified_;
    std::vector<std::optional<DiffReason>> verdicts_;
    std::atomic<std::size_t> next_{0};
};

// Files to hash first, largest first, so that one big file found last does not leave every other
// thread idle while it is read; entries that need no hashing follow in manifest order.
std::vector<std::size_t> WorkOrder(const std::vector<FileEntry>& entries,
                                   const std::vector<Examination>& plan) {
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const bool hash_a = plan[a].depth == Depth::Content;
        const bool hash_b = plan[b].depth == Depth::Content;
        if (hash_a != hash_b) return hash_a;
        return hash_a && entries[a].size > entries[b].size;
    });
    return order;
}

unsigned ThreadCount(std::size_t files_to_hash, unsigned max_threads) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::size_t count = std::min<std::size_t>({cores, files_to_hash, kMaxDiffThreads});
    if (max_threads != 0) count = std::min<std::size_t>(count, max_threads);
    return static_cast<unsigned>(std::max<std::size_t>(count, 1));
}

}  // namespace

const char* DiffReasonName(DiffReason reason) {
    switch (reason) {
        case DiffReason::Missing:
            return "missing";
        case DiffReason::SizeMismatch:
            return "size-mismatch";
        case DiffReason::HashMismatch:
            return "hash-mismatch";
    }
    return "unknown";
}

std::string InstalledFilePath(const std::string& install_dir, std::string_view manifest_path) {
    if (install_dir.empty()) return std::string(manifest_path);
    return install_dir + "/" + std::string(manifest_path);
}

Status CheckInstalledFile(const std::string& install_dir, const FileEntry& entry) {
    const std::string file = InstalledFilePath(install_dir, entry.path);
    const std::string path(entry.path);
    std::uint64_t size = 0;
    if (!GetFileSize(file, size)) {
        return Status(StatusCode::ContentMismatch,
                      "file listed in the manifest is missing on disk: " + path);
    }
    if (size != entry.size) {
        return Status(StatusCode::ContentMismatch, "size mismatch: " + path + " (manifest " +
                                                       std::to_string(entry.size) + ", disk " +
                                                       std::to_string(size) + ")");
    }
    Result<std::string> digest = HashFileSha256(file);
    if (!digest.ok()) return digest.status();
    if (digest.value() != entry.sha256) {
        return Status(StatusCode::ContentMismatch, "sha256 mismatch: " + path);
    }
    return Status::Success();
}

std::vector<DiffItem> ComputeDiff(const std::vector<FileEntry>& entries,
                                  const std::string& install_dir, CheckLevel level,
                                  const std::vector<std::string>& critical_paths,
                                  const std::vector<std::string>& user_owned_paths,
                                  const DiffSelfMapping& self, unsigned max_threads,
                                  VerifiedFiles* verified) {
    const std::vector<std::string> critical = LoweredAll(critical_paths);
    const std::vector<std::string> user_owned = LoweredAll(user_owned_paths);
    const bool mapped = !self.manifest_path.empty() && !self.file.empty();

    std::vector<Examination> plan(entries.size());
    std::size_t files_to_hash = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FileEntry& entry = entries[i];
        const std::string lowered = AsciiLower(entry.path);
        const bool is_critical = Contains(critical, lowered);
        Examination& what = plan[i];
        what.file = mapped && entry.path == self.manifest_path
                        ? self.file
                        : InstalledFilePath(install_dir, entry.path);
        if (!is_critical && Contains(user_owned, lowered)) {
            what.depth = Depth::Presence;
        } else if (level == CheckLevel::Full || (level == CheckLevel::Quick && is_critical)) {
            what.depth = Depth::Content;
            ++files_to_hash;
        } else {
            what.depth = Depth::Size;
        }
    }

    std::vector<std::size_t> order = WorkOrder(entries, plan);
    DiffRun run(entries, std::move(plan), std::move(order), verified);
    run.RunOn(ThreadCount(files_to_hash, max_threads));
    return run.Items();
}

}  // namespace patcher
