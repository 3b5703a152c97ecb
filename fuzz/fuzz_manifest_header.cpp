#include <cstddef>
#include <cstdint>
#include <string>

#include "core/manifest.h"
#include "core/text.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Result<ManifestHeader> header = ParseManifestHeader(text);
    if (!header.ok()) {
        fuzz::RequireFailureShape(header.status());
        fuzz::Require(header.status().code == StatusCode::BadFormat);
        return 0;
    }
    const ManifestHeader& h = header.value();
    for (const std::string_view field : {h.version, h.channel, h.counter, h.created, h.expires}) {
        fuzz::Require(!field.empty());
        fuzz::RequireInside(field, text);
    }
    fuzz::Require(IsDigits(h.counter) && IsIsoUtc(h.created) && IsIsoUtc(h.expires));
    return 0;
}
