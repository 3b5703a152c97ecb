#include "tools/release/object_forms.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include "core/compressed_form.h"
#include "core/file_hash.h"
#include "core/form_decoder.h"
#include "core/hex.h"
#include "core/sha256.h"
#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

// The patcher's decoders refuse a window larger than a frame may be.
constexpr int kWindowLog = 20;
static_assert((1u << kWindowLog) == kFormFrameMaxBytes);
// zstd's fastest level says cheaply which frames are worth the slow one: a frame it shrinks by
// less than this share (in percent) keeps what that level made of it.
constexpr int kProbeLevel = 1;
constexpr std::uint64_t kProbeMinSavingPercent = 2;
// Frames are compressed this many at a time, each on a thread of its own.
constexpr std::size_t kWorkers = 2;

class FrameCompressor {
  public:
    FrameCompressor() : context_(ZSTD_createCCtx()) {}
    ~FrameCompressor() { ZSTD_freeCCtx(context_); }
    FrameCompressor(const FrameCompressor&) = delete;
    FrameCompressor& operator=(const FrameCompressor&) = delete;

    // `in` as one frame that states its content size and carries no checksum (the file's SHA-256
    // verifies it); empty when zstd fails.
    void Compress(const std::string& in, int level, std::string& out) {
        out.clear();
        if (context_ == nullptr) return;
        out.resize(ZSTD_compressBound(in.size()));
        std::size_t got = 0;
        for (const auto& [parameter, value] :
             {std::pair{ZSTD_c_compressionLevel, level}, std::pair{ZSTD_c_windowLog, kWindowLog},
              std::pair{ZSTD_c_contentSizeFlag, 1}, std::pair{ZSTD_c_checksumFlag, 0}}) {
            if (!ZSTD_isError(got)) got = ZSTD_CCtx_setParameter(context_, parameter, value);
        }
        if (!ZSTD_isError(got)) {
            got = ZSTD_compress2(context_, out.data(), out.size(), in.data(), in.size());
        }
        out.resize(ZSTD_isError(got) ? 0 : got);
    }

  private:
    ZSTD_CCtx* context_;
};

// The frames of one file, compressed kWorkers at a time.
class FrameBatches {
  public:
    FrameBatches(const std::string& file, int fd, const std::vector<std::uint32_t>& lengths)
        : file_(file), fd_(fd), lengths_(lengths) {}

    // Reads the file from its start and hands each frame, compressed at level_of(frame), to
    // use(frame, bytes) in file order until use answers false; answers whether every frame went.
    template <typename LevelOf, typename Use>
    Result<bool> Run(const LevelOf& level_of, const Use& use) {
        if (::lseek(fd_, 0, SEEK_SET) != 0) return Unreadable();
        for (std::size_t first = 0; first < lengths_.size(); first += kWorkers) {
            const std::size_t count = std::min(kWorkers, lengths_.size() - first);
            for (std::size_t i = 0; i < count; ++i) {
                if (!ReadExactly(lengths_[first + i], raw_[i])) return Unreadable();
            }
            const auto compress = [&](std::size_t i) {
                compressors_[i].Compress(raw_[i], level_of(first + i), packed_[i]);
            };
            // A helper that cannot be started only means this thread compresses its frame too.
            std::vector<std::thread> helpers;
            std::size_t helped = 1;
            for (; helped < count; ++helped) {
                try {
                    helpers.emplace_back(compress, helped);
                } catch (const std::system_error&) {
                    break;
                }
            }
            compress(0);
            for (std::size_t i = helped; i < count; ++i) compress(i);
            for (std::thread& helper : helpers) helper.join();
            for (std::size_t i = 0; i < count; ++i) {
                if (packed_[i].empty()) {
                    return Status(StatusCode::BadInput, "zstd could not compress " + file_);
                }
                if (!use(first + i, packed_[i])) return false;
            }
        }
        return true;
    }

  private:
    Status Unreadable() const {
        return Status(StatusCode::BadInput, "cannot read " + file_ + " to compress it");
    }

    bool ReadExactly(std::uint32_t length, std::string& into) {
        into.resize(length);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t got = ::read(fd_, into.data() + done, length - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

    const std::string& file_;
    int fd_;
    const std::vector<std::uint32_t>& lengths_;
    FrameCompressor compressors_[kWorkers];
    std::string raw_[kWorkers], packed_[kWorkers];
};

bool WorthKeeping(std::uint64_t form_bytes, std::uint64_t size) {
    return form_bytes * 100 <= size * kFormMaxPercent;
}

}  // namespace

Result<std::uint64_t> WriteForm(const std::string& file, std::uint64_t size,
                                const std::vector<ChunkGroup>& groups, int level,
                                const std::string& form) {
    const std::vector<std::uint32_t> lengths = FormFrameLengths(size, groups);
    const std::uint64_t table = kFormHeadBytes + lengths.size() * kFormFrameEntryBytes;
    if (lengths.empty() || !WorthKeeping(table, size)) return std::uint64_t{0};
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return Status(StatusCode::BadInput, "cannot open " + file + ": " + std::strerror(errno));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    FrameBatches batches(file, in, lengths);

    // First every frame at the fastest level, with nothing written. The frames that it hardly
    // shrinks are kept as it made them, so when they alone make the form too large, as random
    // bytes do, there is no form, and it cost no more than that level.
    std::vector<bool> slow(lengths.size());
    std::uint64_t kept = table;
    const auto probe = [&](std::size_t i, const std::string& packed) {
        slow[i] = level > kProbeLevel &&
                  packed.size() * 100 < lengths[i] * (100 - kProbeMinSavingPercent);
        if (!slow[i]) kept += packed.size();
        return WorthKeeping(kept, size);
    };
    Result<bool> probed = batches.Run([](std::size_t) { return kProbeLevel; }, probe);
    if (!probed.ok()) return probed.status();
    if (!probed.value()) return std::uint64_t{0};

    // The table's place is kept and it is written last, once every frame's length is known.
    NewFile out;
    Status status = out.Create(form, kServedFileMode);
    if (status.ok()) status = out.Append(std::string(table, '\0'));
    if (!status.ok()) return status;
    std::vector<FormFrame> frames(lengths.size());
    std::uint64_t written = table;
    const auto level_of = [&](std::size_t i) { return slow[i] ? level : kProbeLevel; };
    const auto append = [&](std::size_t i, const std::string& packed) {
        frames[i].length = lengths[i];
        frames[i].form_length = static_cast<std::uint32_t>(packed.size());
        written += packed.size();
        status = out.Append(packed);
        return status.ok() && WorthKeeping(written, size);
    };
    Result<bool> made = batches.Run(level_of, append);
    if (!made.ok()) return made.status();
    if (!status.ok()) return status;
    if (!made.value()) return std::uint64_t{0};
    status = out.WriteAt(0, SerializeFormTable(size, frames));
    if (status.ok()) status = out.Finish();
    if (!status.ok()) return status;
    return written;
}

Status CheckForm(const std::string& form, std::uint64_t size, const std::string& sha256) {
    FormDecoder decoder(size);
    const std::string why = WhyNotDecoded(form, decoder, sha256);
    if (why.empty()) return Status::Success();
    return Status(StatusCode::ContentMismatch, "the form " + form + " " + why);
}

}  // namespace patcher::release
