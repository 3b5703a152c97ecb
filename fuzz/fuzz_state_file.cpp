// The state file's lenient reader and the counter comparison fed from what it read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/rollback_state.h"
#include "core/text.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RollbackState state = ParseStateText(text);
    fuzz::Require(!state.present);
    for (const std::string* field : {&state.keys_version, &state.keys_sha256,
                                     &state.manifest_counter, &state.manifest_sha256}) {
        fuzz::Require(field->size() <= size && field->find('\n') == std::string::npos);
    }
    // Compare the stored baseline with itself and with the other document's counter.
    const Status same = CheckCounter("manifest", state.manifest_sha256, state.manifest_sha256,
                                     state.manifest_counter, state.manifest_counter);
    std::uint64_t counter = 0;
    if (state.manifest_counter.empty() || ParseU64(state.manifest_counter, counter)) {
        fuzz::Require(same.ok());
    } else {
        fuzz::Require(same.code == StatusCode::Rollback);
    }
    const Status cross = CheckCounter("key registry", state.keys_sha256, state.manifest_sha256,
                                      state.keys_version, state.manifest_counter);
    if (!cross.ok()) fuzz::Require(cross.code == StatusCode::Rollback);
    const Status expiry = CheckExpiry("manifest", state.keys_sha256, state.manifest_sha256);
    if (!expiry.ok()) fuzz::Require(expiry.code == StatusCode::Expired);
    return 0;
}
