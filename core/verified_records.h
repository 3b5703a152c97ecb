// What the patcher knows of the files it verified: for each manifest path, the stamp the file had
// when its content was found to hash to a SHA-256 (its size, last-write time and the identity the
// file system gives it), so that a later check of an unchanged file need not read it again. A
// file changed in place with its size, time and identity all kept passes for unchanged; a repair
// ignores the records and finds it.
//
// Kept as text in the data directory: a first line "garun2-verified 1", then one line
// "<sha256> <size> <write time> <volume> <file index> <path>" a file, in path order. A set that
// does not read as such is refused whole, and every file is hashed again.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace patcher {

// What identifies a file's content on one disk without reading it. A stamp with a zero time or
// identity is one the file system could not give, and vouches for nothing.
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t write_time = 0;
    std::uint32_t volume = 0;
    std::uint64_t file_index = 0;
    bool operator==(const FileStamp&) const = default;
};

inline constexpr const char* kVerifiedRecordsName = "verified.txt";
// Room for a game of 100,000 files and more; past it, new files go unrecorded.
inline constexpr std::size_t kMaxVerifiedRecords = 262144;
inline constexpr std::uint64_t kVerifiedRecordsCapBytes = 64ull * 1024 * 1024;

class VerifiedRecords {
  public:
    // Refused whole (nullopt) unless every line reads.
    static std::optional<VerifiedRecords> Parse(std::string_view text);
    std::string Text() const;

    // The file at `path` hashed to `sha256` when it had exactly this stamp.
    bool Vouches(const std::string& path, const FileStamp& now, std::string_view sha256) const;
    // The digest the file at `path` hashed to when it had exactly this stamp; empty when unknown.
    std::string DigestOf(const std::string& path, const FileStamp& now) const;
    void Set(const std::string& path, const FileStamp& stamp, std::string_view sha256);
    void Drop(const std::string& path);
    // Drops every record whose path is not in `paths`; views, so a release's paths are not copied.
    void KeepOnly(std::vector<std::string_view> paths);
    std::size_t size() const { return records_.size(); }

  private:
    // Hex digits in place: a game of 100,000 files keeps as many records.
    struct Record {
        FileStamp stamp;
        std::array<char, 64> sha256;
    };
    std::map<std::string, Record> records_;
};

}  // namespace patcher
