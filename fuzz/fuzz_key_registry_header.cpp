#include <cstddef>
#include <cstdint>
#include <string>

#include "core/key_registry.h"
#include "core/text.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Result<KeyRegistryHeader> header = ParseKeyRegistryHeader(text);
    if (!header.ok()) {
        fuzz::RequireFailureShape(header.status());
        fuzz::Require(header.status().code == StatusCode::BadFormat);
        return 0;
    }
    fuzz::RequireInside(header.value().version, text);
    fuzz::RequireInside(header.value().expires, text);
    fuzz::Require(IsDigits(header.value().version) && IsIsoUtc(header.value().expires));
    return 0;
}
