#include <cstddef>
#include <cstdint>
#include <string>

#include "core/key_registry.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
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
