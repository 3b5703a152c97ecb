#include "core/rollback_state.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/file_path.h"
#include "core/text.h"

namespace patcher {
namespace {

struct StateKey {
    std::string_view name;
    std::string RollbackState::*field;
};

constexpr StateKey kStateKeys[] = {
    {"keys-version", &RollbackState::keys_version},
    {"keys-sha256", &RollbackState::keys_sha256},
    {"manifest-counter", &RollbackState::manifest_counter},
    {"manifest-sha256", &RollbackState::manifest_sha256},
};

// The first non-empty value of a known key wins; the value is everything after the first space,
// further spaces and a CR included.
void ApplyStateLine(std::string_view line, RollbackState& state) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return;
    const std::string_view key = line.substr(0, space);
    for (const StateKey& known : kStateKeys) {
        std::string& field = state.*known.field;
        if (key == known.name && field.empty()) field = std::string(line.substr(space + 1));
    }
}

}  // namespace

RollbackState ParseStateText(std::string_view text) {
    RollbackState state;
    for (const std::string_view line : SplitLines(text)) ApplyStateLine(line, state);
    return state;
}

Result<RollbackState> ReadStateFile(const std::string& path) {
    RollbackState state;
    if (path.empty() || !FileExists(path)) return state;
    Result<std::string> text = ReadTextFile(path, "state file");
    if (!text.ok()) return Status(StatusCode::BadInput, "state file unreadable: " + path);
    state = ParseStateText(text.value());
    state.present = true;
    return state;
}

Status WriteStateFile(const std::string& path, const RollbackState& state) {
    std::string content;
    for (const StateKey& known : kStateKeys) {
        content.append(known.name).append(" ").append(state.*known.field).append("\n");
    }
    // Rewriting in place would leave a truncated file after a crash or a full disk, and a
    // truncated baseline silently drops rollback protection for the next release. The replacing
    // rename is atomic on POSIX and on Win32 (MoveFileEx with replace).
    const std::optional<std::filesystem::path> target = Utf8Path(path);
    const std::optional<std::filesystem::path> temp = Utf8Path(path + ".tmp");
    std::ofstream out;
    if (target && temp) out.open(*temp, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return Status(StatusCode::BadInput, "cannot write state file: " + path);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    const bool written = static_cast<bool>(out);
    out.close();
    std::error_code error;
    if (written && !out.fail()) std::filesystem::rename(*temp, *target, error);
    if (!written || out.fail() || error) {
        std::filesystem::remove(*temp, error);
        return Status(StatusCode::BadInput, "state file write failed: " + path);
    }
    return Status::Success();
}

Status CheckCounter(const std::string& label, std::string_view new_sha256,
                    std::string_view stored_sha256, std::string_view new_counter,
                    std::string_view stored_counter) {
    if (stored_counter.empty()) return Status::Success();
    std::uint64_t stored = 0;
    std::uint64_t fresh = 0;
    if (!ParseU64(stored_counter, stored) || !ParseU64(new_counter, fresh)) {
        return Status(StatusCode::Rollback, label + " counter is not a usable integer");
    }
    if (stored > fresh) {
        return Status(StatusCode::Rollback,
                      label + " counter went backwards (" + std::string(new_counter) + " < " +
                          std::string(stored_counter) + ") -- rollback attack");
    }
    if (stored == fresh && new_sha256 != stored_sha256) {
        return Status(StatusCode::Rollback, label + " same counter (" + std::string(new_counter) +
                                                ") but different content -- counter replay");
    }
    return Status::Success();
}

Status CheckExpiry(const std::string& label, std::string_view expires, std::string_view now) {
    if (!IsAtOrAfter(now, expires)) return Status::Success();
    return Status(StatusCode::Expired, label + " expired (" + std::string(expires) +
                                           " <= " + std::string(now) + ") -- freeze attack");
}

}  // namespace patcher
