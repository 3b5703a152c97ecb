#include "win/platform/cng_sha256.h"

#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "core/hex.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

// BCrypt handles and NTSTATUS results; the CNG headers leave the success test to the caller.
bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

struct AlgorithmTraits {
    using pointer = BCRYPT_ALG_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
    using pointer = BCRYPT_HASH_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::BCryptDestroyHash(h); }
};

constexpr std::size_t kMaxPieceBytes = 268435456;
constexpr DWORD kHandleReadBytes = 262144;

}  // namespace

// Declared in this order so that destruction releases the hash before its object buffer and the
// provider last.
struct CngSha256::Handles {
    unique_any<AlgorithmTraits> algorithm;
    std::vector<UCHAR> object;
    unique_any<HashTraits> hash;
};

CngSha256::CngSha256() : handles_(std::make_unique<Handles>()) {
    Handles& h = *handles_;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(h.algorithm.put(), BCRYPT_SHA256_ALGORITHM,
                                                 nullptr, 0))) {
        return;
    }
    DWORD object_length = 0;
    ULONG got = 0;
    if (!Succeeded(::BCryptGetProperty(h.algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                       reinterpret_cast<PUCHAR>(&object_length),
                                       sizeof(object_length), &got, 0)) ||
        got != sizeof(DWORD)) {
        h.algorithm.reset();
        return;
    }
    h.object.resize(object_length);
    if (!Succeeded(::BCryptCreateHash(h.algorithm.get(), h.hash.put(), h.object.data(),
                                      static_cast<ULONG>(h.object.size()), nullptr, 0, 0))) {
        h.hash.reset();
        h.object.clear();
        h.algorithm.reset();
        return;
    }
    ready_ = true;
}

CngSha256::~CngSha256() = default;

bool CngSha256::Update(const void* data, std::size_t size) {
    if (!ready_ || finished_) return false;
    if (size == 0) return true;
    if (data == nullptr) {
        ready_ = false;
        return false;
    }
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const std::size_t piece = std::min(size, kMaxPieceBytes);
        if (!Succeeded(
                ::BCryptHashData(handles_->hash.get(), bytes, static_cast<ULONG>(piece), 0))) {
            ready_ = false;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

std::string CngSha256::Finish() {
    if (!ready_ || finished_) return std::string();
    finished_ = true;
    std::uint8_t digest[32];
    if (!Succeeded(::BCryptFinishHash(handles_->hash.get(), digest, sizeof(digest), 0))) {
        ready_ = false;
        return std::string();
    }
    return patcher::HexEncode(digest);
}

std::string CngSha256OfHandle(HANDLE file) {
    if (file == nullptr || file == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::string();
    CngSha256 hasher;
    if (!hasher.ready()) return std::string();
    std::vector<std::uint8_t> buffer(kHandleReadBytes);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), kHandleReadBytes, &got, nullptr)) return std::string();
        if (got == 0) break;
        if (!hasher.Update(buffer.data(), got)) return std::string();
    }
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::string();
    return hasher.Finish();
}

}  // namespace patcher::win
