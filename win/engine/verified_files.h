// The verified-file records of the data directory (core/verified_records.h) as a diff uses them:
// each file's stamp read from the file system (size, last-write time, volume serial and file
// index), the records loaded once and written back atomically after the check or the download
// that learnt something. A check takes the stamps of a folder's files from one listing of the
// folder: under Wine an open of each file costs as much as the rest of the check.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/install_diff.h"
#include "core/verified_records.h"

namespace patcher::win {

class RecordedFiles : public VerifiedFiles {
  public:
    // Loads the records of `data_directory`; with `trust` false (a repair) none vouches, and the
    // files this run hashes are recorded afresh.
    RecordedFiles(const std::wstring& data_directory, bool trust);

    std::optional<FileStamp> StampOf(const std::string& file) override;
    bool Vouches(const std::string& path, const FileStamp& stamp, std::string_view sha256) override;
    void Verified(const std::string& path, const std::string& file, const FileStamp& before,
                  std::string_view sha256) override;

    // A file a download verified and committed at `file`, of `size` bytes.
    void Committed(const std::string& path, const std::wstring& file, std::uint64_t size,
                   std::string_view sha256);
    // The digest the records hold for the copy at `file` (manifest path `path`) as it is now:
    // what an earlier check or download verified, when the copy has not changed since.
    std::string DigestOf(const std::string& path, const std::string& file);
    void Forget(const std::string& path);
    void KeepOnly(std::vector<std::string_view> paths);
    // Writes the records back; false, with one log line, when they cannot be written. The folder
    // listings go first: they are as old as the check, and a game's worth of them is many MiB.
    bool Save();

    std::uint64_t vouched() const { return vouched_; }

  private:
    using Listing = std::map<std::wstring, FileStamp>;  // by name, in the file system's case
    const Listing& ListingOf(const std::wstring& folder);

    std::wstring path_;
    bool trust_;
    std::mutex lock_;  // the diff's threads record at once
    VerifiedRecords records_;
    std::string loaded_sha256_;  // of the text on disk, which need not be written again
    std::uint64_t vouched_ = 0;
    std::map<std::wstring, Listing> listings_;  // by folder, in the file system's case
};

// The stamp of the file at `path` through a handle that reads attributes only; nullopt for a
// folder, a link or a name that cannot be opened.
std::optional<FileStamp> FileStampOf(const std::wstring& path);

}  // namespace patcher::win
