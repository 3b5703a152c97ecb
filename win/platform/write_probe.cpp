#include "win/platform/write_probe.h"

#include <windows.h>

#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr std::uint32_t kErrorInvalidName = 123;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr int kAttempts = 4;
constexpr int kNameLetters = 12;

std::uint32_t XorShift(std::uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

}  // namespace

bool ProbeWritable(const std::wstring& directory, std::uint32_t& error) {
    error = 0;
    if (directory.empty()) {
        error = kErrorInvalidName;
        return false;
    }
    if (!EnsureDirectory(directory)) {
        error = ::GetLastError();
        if (error == 0) error = kErrorAccessDenied;
        return false;
    }
    std::uint32_t state = ::GetCurrentProcessId() ^ ::GetTickCount();
    // Zero is the one state xorshift never leaves; it would give the same name on every attempt.
    if (state == 0) state = 0x9E3779B9u;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::wstring name = JoinPath(directory, L"patcher-write-probe-");
        for (int i = 0; i < kNameLetters; ++i) {
            name += static_cast<wchar_t>(L'a' + XorShift(state) % 26);
        }
        name += L".tmp";
        unique_hfile probe(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                         nullptr));
        if (!probe) {
            error = ::GetLastError();
            if (error == kErrorFileExists || error == kErrorAlreadyExists) continue;
            return false;
        }
        DWORD written = 0;
        if (::WriteFile(probe.get(), ".", 1, &written, nullptr) && written == 1) {
            error = 0;
            return true;
        }
        error = ::GetLastError();
        if (error == 0) error = kErrorAccessDenied;
        return false;
    }
    return false;
}

}  // namespace patcher::win
