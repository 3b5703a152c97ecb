// The binary deltas the publisher writes beside an object: one zstd frame made with an older
// object of the same path as its prefix (zstd --patch-from), so a patcher that holds the older copy
// fetches only what changed. Named "<new sha256>.from-<old sha256>" beside the new object and
// listed, "delta <new sha256> <old sha256> <delta bytes>" a line, in the release's deltas.txt.
//
// Neither the delta nor the list is signed: the decoding is bounded (one frame that states its
// content size, which must be the new file's, and a window of at most kDeltaMaxWindowBytes), and
// the file it makes is verified against the manifest like any download.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace patcher {

inline constexpr const char* kDeltaInfix = ".from-";
inline constexpr const char* kDeltaListName = "deltas.txt";
// About 150 bytes a line: room for three deltas each of a release of 35,000 files.
inline constexpr std::uint64_t kDeltaListCapBytes = 16 * 1024 * 1024;
// The 32-bit patcher holds the old copy whole as the prefix and a window as large as the new file
// (up to kDeltaMaxWindowBytes) at once, so neither copy may be larger than this.
inline constexpr std::uint64_t kDeltaMaxFileBytes = 128ull * 1024 * 1024;
inline constexpr int kDeltaMaxWindowLog = 27;
inline constexpr std::uint64_t kDeltaMaxWindowBytes = 1ull << kDeltaMaxWindowLog;
static_assert(kDeltaMaxWindowBytes >= kDeltaMaxFileBytes);

// The name of the delta that turns the object `old_sha256` into `new_sha256`, below the objects
// folder.
std::string DeltaObjectName(const std::string& new_sha256, const std::string& old_sha256);

struct DeltaListing {
    std::string new_sha256;
    std::string old_sha256;
    std::uint64_t bytes = 0;
};

// The deltas the list names into an object among `wanted` (SHA-256 in hex), in list order, each
// pair once. Lines that do not read as the list's are skipped: the list only says where to look.
std::vector<DeltaListing> ParseDeltaList(std::string_view text,
                                         const std::unordered_set<std::string>& wanted);

// Turns the bytes of a delta, as they arrive, into the bytes of the new file. The old copy's
// bytes are the frame's prefix and must stay unchanged while the decoder lives. What it holds
// besides them is the window, no larger than the new file, and one output buffer.
class DeltaDecoder {
  public:
    using Sink = std::function<bool(const char*, std::uint32_t)>;

    DeltaDecoder(std::string_view old_bytes, std::uint64_t new_size);
    ~DeltaDecoder();
    DeltaDecoder(const DeltaDecoder&) = delete;
    DeltaDecoder& operator=(const DeltaDecoder&) = delete;

    // Hands decoded bytes to `sink` as they come, never more than the new size in all. False once
    // the delta is refused (`why` says why) or the sink stops (`why` stays empty); every call
    // after that is refused too.
    bool Feed(const char* bytes, std::size_t size, const Sink& sink);
    // The frame ended, having made exactly the new size.
    bool done() const { return !failed_ && ended_; }
    const std::string& why() const { return why_; }

  private:
    struct Context;
    bool CheckHeader();
    bool Decode(const char* bytes, std::size_t size, const Sink& sink);
    bool Refuse(std::string reason);

    std::unique_ptr<Context> context_;
    std::uint64_t new_size_ = 0;
    std::uint64_t made_ = 0;
    std::string header_;  // the frame's first bytes, until its header can be read
    bool header_read_ = false;
    bool ended_ = false;
    bool failed_ = false;
    std::vector<char> decoded_;
    std::string why_;
};

}  // namespace patcher
