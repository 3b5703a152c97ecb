// The compressed form's decoder, fed a form in pieces of a size the input picks, for the file size
// the form's own head names (so that the search gets past the head to the frames).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/form_decoder.h"
#include "core/little_endian.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + kFormHeadBytes) return 0;
    const std::size_t piece = 1 + data[0] * 97;
    const std::string_view form(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::uint64_t file_size = ReadLe(form, 16, 8);
    FormDecoder decoder(file_size);
    std::uint64_t decoded = 0;
    bool fed = true;
    for (std::size_t at = 0; fed && at < form.size(); at += piece) {
        const std::string_view part = form.substr(at, piece);
        fed = decoder.Feed(part.data(), part.size(), [&](const char*, std::uint32_t length) {
            fuzz::Require(length > 0 && length <= kFormFrameMaxBytes);
            decoded += length;
            return true;
        });
    }
    fuzz::Require(decoded <= file_size);
    // The sink never stops it: the decoder stops only with a reason.
    fuzz::Require(fed == decoder.why().empty());
    if (decoder.done()) fuzz::Require(fed && decoded == file_size);
    return 0;
}
