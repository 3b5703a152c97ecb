// The line rules and the lexical helpers the parsers are built from.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/text.h"
#include "fuzz/fuzz_check.h"

using namespace patcher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A view of exactly the fuzzer's buffer, so any read past it is an ASan report.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Status status = CheckTextFormat(text, "manifest");
    if (!status.ok()) fuzz::RequireFailureShape(status);

    std::size_t joined = 0;
    for (const std::string_view line : SplitLines(text)) {
        fuzz::Require(line.find('\n') == std::string_view::npos);
        joined += line.size() + 1;
        for (const std::string_view field : SplitFields(line)) {
            fuzz::Require(field.find(' ') == std::string_view::npos);
            std::uint64_t value = 0;
            if (ParseU64(field, value)) fuzz::Require(IsDigits(field));
            if (IsIsoUtc(field)) fuzz::Require(field.size() == 20);
            if (IsLowerHex64(field)) fuzz::Require(field.size() == 64);
        }
    }
    // Cutting at LF loses nothing but the LFs (and at most one final one it never adds).
    fuzz::Require(joined == size || joined == size + 1);
    const std::string_view value = FindHeaderField(text, "version");
    if (!value.empty()) {
        fuzz::Require(value.data() >= text.data() &&
                      value.data() + value.size() <= text.data() + text.size());
    }
    fuzz::Require(PrintableCopy(text).size() == size);
    return 0;
}
