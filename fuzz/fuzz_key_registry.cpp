// Both parsers of the key registry, over the same text as the patcher reads it.
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
    } else {
        fuzz::RequireInside(header.value().version, text);
        fuzz::RequireInside(header.value().expires, text);
        fuzz::Require(IsDigits(header.value().version) && IsIsoUtc(header.value().expires));
    }

    const Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text);
    if (!keys.ok()) {
        fuzz::RequireFailureShape(keys.status());
        fuzz::Require(keys.status().code == StatusCode::BadFormat);
        return 0;
    }
    fuzz::Require(!keys.value().empty());
    for (const KeyEntry& key : keys.value()) {
        fuzz::RequireInside(key.id, text);
        fuzz::RequireInside(key.public_key, text);
        fuzz::Require(!key.id.empty() && key.public_key.size() == 44);
    }
    return 0;
}
