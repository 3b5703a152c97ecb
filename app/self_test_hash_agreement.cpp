// `--self-test hash-agreement`: the core's SHA-256 and the system's (CNG) must give the same digest
// on every input. Twelve buffers whose sizes sit on the padding and block edges and on both sides
// of one 64 KiB chunk; buffer k holds byte i = (31k + 7i) mod 256, so no two buffers share content.
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "app/console_report.h"
#include "app/self_test.h"
#include "core/sha256.h"
#include "win/platform/cng_sha256.h"
#include "win/platform/text.h"

namespace patcher::app {

using namespace win;

namespace {

constexpr std::size_t kSizes[] = {0, 1, 55, 56, 63, 64, 65, 127, 128, 1000, 65536, 65537};

std::string CngDigest(const std::vector<std::uint8_t>& buffer) {
    CngSha256 hasher;
    if (!hasher.Update(buffer.data(), buffer.size())) return std::string();
    return hasher.Finish();
}

}  // namespace

int RunHashAgreementSelfTest(const Arguments&) {
    bool all_same = true;
    for (std::size_t k = 0; k < std::size(kSizes); ++k) {
        std::vector<std::uint8_t> buffer(kSizes[k]);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<std::uint8_t>((31 * k + 7 * i) % 256);
        }
        const std::string core = patcher::Sha256Hex(
            std::string_view(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
        const std::string cng = CngDigest(buffer);
        // An empty CNG digest is a failure, never agreement.
        const bool same = !cng.empty() && core == cng;
        all_same = all_same && same;
        WriteConsoleText(std::wstring(same ? L"  SAME " : L"  DIFF ") + FormatDecimal(kSizes[k]) +
                         L" core=" + Utf8ToWide(core) + L" cng=" + Utf8ToWide(cng) + L"\r\n");
    }
    PrintField(L"HASH_AGREEMENT", all_same ? L"OK" : L"MISMATCH");
    return all_same ? 0 : 1;
}

}  // namespace patcher::app
