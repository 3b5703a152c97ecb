// The binary delta's decoder, given an old copy and a delta that the input holds, fed in pieces of
// a size the input picks, for the new size the delta's own header names (so that the search gets
// past the header to the blocks).
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/binary_delta.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t piece = 1 + data[0] * 97;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string_view old = rest.substr(0, data[1] * 64);
    const std::string_view delta = rest.substr(old.size());
    const unsigned long long said = ZSTD_getFrameContentSize(delta.data(), delta.size());
    // Larger content only makes each run slower, not the decoder's checks any different.
    const std::uint64_t new_size = said <= (1u << 20) ? said : 0;
    DeltaDecoder decoder(old, new_size);
    std::uint64_t decoded = 0;
    bool fed = true;
    for (std::size_t at = 0; fed && at < delta.size(); at += piece) {
        const std::string_view part = delta.substr(at, piece);
        fed = decoder.Feed(part.data(), part.size(), [&](const char*, std::uint32_t length) {
            fuzz::Require(length > 0);
            decoded += length;
            return true;
        });
    }
    fuzz::Require(decoded <= new_size);
    // The sink never stops it: the decoder stops only with a reason.
    fuzz::Require(fed == decoder.why().empty());
    if (decoder.done()) fuzz::Require(fed && decoded == new_size);
    return 0;
}
