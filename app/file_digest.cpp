#include "app/file_digest.h"

#include <windows.h>

#include <vector>

#include "core/hex.h"
#include "core/sha256.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::app {

using namespace win;

std::wstring FileSha256Hex(const std::wstring& path) {
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::wstring();
    patcher::Sha256 hasher;
    std::vector<char> chunk(65536);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                        nullptr)) {
            return std::wstring();
        }
        if (got == 0) break;
        hasher.Update(chunk.data(), got);
    }
    const patcher::Sha256Digest digest = hasher.Finish();
    return Utf8ToWide(patcher::HexEncode(digest));
}

}  // namespace patcher::app
