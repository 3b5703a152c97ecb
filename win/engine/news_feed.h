// The signed news documents and stage art of the release server. Nothing is shown unless a
// non-revoked key of the accepted key registry signed it, and no failure here is ever fatal: it
// leaves the item empty and writes one line to the support log.
#pragma once

#include <string>
#include <vector>

#include "core/key_registry.h"
#include "core/news_document.h"
#include "rules/patcher_config.h"

namespace patcher::win {

inline constexpr std::uint32_t kNewsSignatureCapBytes = 4096;

struct NewsBundle {
    NewsDocument announce;
    NewsDocument updates;
    std::string stage_jpeg;  // verified bytes; decoding them is the front end's task
};

// current\keys.txt below the data directory: the registry the last successful check accepted.
std::wstring AcceptedKeysPath(const rules::PatcherConfig& config);

// Empty until a check has accepted a registry once.
NewsBundle FetchNews(const std::wstring& base_url, const std::string& root_key,
                     const std::wstring& accepted_keys_path);

NewsDocument FetchNewsDocument(const std::wstring& name, const std::wstring& base_url,
                               const std::vector<KeyEntry>& keys);

std::string FetchStageArt(const std::wstring& base_url, const std::vector<KeyEntry>& keys);

}  // namespace patcher::win
