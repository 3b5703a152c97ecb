#include "core/verified_records.h"

#include <algorithm>
#include <array>

#include "core/text.h"

namespace patcher {
namespace {

constexpr std::string_view kHeader = "garun2-verified 1";
constexpr std::size_t kNumberFields = 4;

// "<sha256> <size> <time> <volume> <index> <path>": the path is the rest of the line.
bool ParseLine(std::string_view line, std::string_view& path, FileStamp& stamp,
               std::string_view& sha256) {
    std::array<std::string_view, 1 + kNumberFields> fields;
    for (std::string_view& field : fields) {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space == 0) return false;
        field = line.substr(0, space);
        line.remove_prefix(space + 1);
    }
    std::uint64_t volume = 0;
    if (!IsLowerHex64(fields[0]) || line.empty() || !ParseU64(fields[1], stamp.size) ||
        !ParseU64(fields[2], stamp.write_time) || !ParseU64(fields[3], volume) ||
        volume > 0xFFFFFFFFu || !ParseU64(fields[4], stamp.file_index)) {
        return false;
    }
    stamp.volume = static_cast<std::uint32_t>(volume);
    sha256 = fields[0];
    path = line;
    return true;
}

std::array<char, 64> HexDigits(std::string_view sha256) {
    std::array<char, 64> digits;
    std::copy_n(sha256.begin(), digits.size(), digits.begin());
    return digits;
}

std::string_view View(const std::array<char, 64>& digits) {
    return std::string_view(digits.data(), digits.size());
}

}  // namespace

std::optional<VerifiedRecords> VerifiedRecords::Parse(std::string_view text) {
    if (text.size() > kVerifiedRecordsCapBytes) return std::nullopt;
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty() || lines.front() != kHeader || lines.size() - 1 > kMaxVerifiedRecords) {
        return std::nullopt;
    }
    VerifiedRecords records;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view path, sha256;
        FileStamp stamp;
        if (!ParseLine(lines[i], path, stamp, sha256)) return std::nullopt;
        if (!records.records_.emplace(std::string(path), Record{stamp, HexDigits(sha256)}).second) {
            return std::nullopt;
        }
    }
    return records;
}

std::string VerifiedRecords::Text() const {
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [path, record] : records_) {
        const FileStamp& s = record.stamp;
        text.append(View(record.sha256));
        for (const std::uint64_t number :
             {s.size, s.write_time, std::uint64_t{s.volume}, s.file_index}) {
            text.append(" ").append(std::to_string(number));
        }
        text.append(" ").append(path).append("\n");
    }
    return text;
}

bool VerifiedRecords::Vouches(const std::string& path, const FileStamp& now,
                              std::string_view sha256) const {
    return !sha256.empty() && DigestOf(path, now) == sha256;
}

std::string VerifiedRecords::DigestOf(const std::string& path, const FileStamp& now) const {
    if (now.write_time == 0 || now.file_index == 0) return std::string();
    const auto found = records_.find(path);
    return found != records_.end() && found->second.stamp == now
               ? std::string(View(found->second.sha256))
               : std::string();
}

void VerifiedRecords::Set(const std::string& path, const FileStamp& stamp,
                          std::string_view sha256) {
    // A path with a line break could not be read back; a stamp that vouches for nothing is no use.
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos || stamp.write_time == 0 ||
        stamp.file_index == 0 || !IsLowerHex64(sha256)) {
        return;
    }
    const auto found = records_.find(path);
    if (found != records_.end()) {
        found->second = Record{stamp, HexDigits(sha256)};
    } else if (records_.size() < kMaxVerifiedRecords) {
        records_.emplace(path, Record{stamp, HexDigits(sha256)});
    }
}

void VerifiedRecords::Drop(const std::string& path) {
    records_.erase(path);
}

void VerifiedRecords::KeepOnly(std::vector<std::string_view> paths) {
    std::sort(paths.begin(), paths.end());
    for (auto it = records_.begin(); it != records_.end();) {
        it = std::binary_search(paths.begin(), paths.end(), std::string_view(it->first))
                 ? std::next(it)
                 : records_.erase(it);
    }
}

}  // namespace patcher
