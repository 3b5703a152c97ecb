// The shards of a release, kept in the data directory under their SHA-256 (shards\<sha256>.txt):
// a check when nothing changed reads them from there, and only a shard the folder lacks or holds
// damaged is fetched from its address. Nothing kept here is trusted: the core checks every shard
// it is handed against its line in the signed manifest.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/release_shards.h"
#include "win/platform/http_client.h"

namespace patcher::win {

class ShardCache {
  public:
    // Without `may_fetch` (offline) only kept shards are found.
    ShardCache(const std::wstring& data_directory, bool may_fetch);

    // The shard's bytes, kept or fetched; a failure carries the check's code for it.
    Result<std::string> Load(const ShardEntry& shard);
    ShardLoader Loader() {
        return [this](const ShardEntry& shard) { return Load(shard); };
    }
    // Deletes every kept shard `listed` does not name.
    void KeepOnly(const std::vector<ShardEntry>& listed) const;

    std::uint32_t fetched() const { return fetched_; }
    std::uint64_t fetched_bytes() const { return fetched_bytes_; }

  private:
    std::wstring folder_;
    bool may_fetch_;
    std::unique_ptr<HttpClient> client_;  // made at the first fetch
    std::uint32_t fetched_ = 0;
    std::uint64_t fetched_bytes_ = 0;
};

}  // namespace patcher::win
