#include "win/engine/shard_cache.h"

#include <windows.h>

#include <set>

#include "core/text.h"
#include "win/engine/metadata_sync.h"
#include "win/engine/release_paths.h"
#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

Status Unavailable(std::string message) {
    return Status(StatusCode::BadInput, std::move(message));
}

// The kept copy when it is the shard the line names, else nothing.
std::optional<std::string> KeptCopy(const std::wstring& path, const ShardEntry& shard) {
    std::string core_path, ignored;
    if (!ToCorePath(path, core_path, ignored)) return std::nullopt;
    Result<std::string> bytes = ReadTextFile(core_path, "shard");
    if (!bytes.ok() || !CheckShardBytes(shard, bytes.value()).ok()) return std::nullopt;
    return std::move(bytes).value();
}

}  // namespace

ShardCache::ShardCache(const std::wstring& data_directory, bool may_fetch)
    : folder_(JoinPath(data_directory, L"shards")), may_fetch_(may_fetch) {}

Result<std::string> ShardCache::Load(const ShardEntry& shard) {
    const std::wstring path = JoinPath(folder_, Utf8ToWide(ShardFileName(shard)));
    if (std::optional<std::string> kept = KeptCopy(path, shard)) return std::move(*kept);
    const std::string url(shard.url);
    if (!may_fetch_) {
        return Unavailable("shard " + url + " is not kept in " + WideToUtf8(folder_) +
                           " and the network is not used (offline mode)");
    }
    if (!client_) client_ = std::make_unique<HttpClient>();
    if (!client_->has_session()) return Unavailable("WinHTTP session unavailable");
    if (!EnsureDirectory(folder_)) return Unavailable("cannot create " + WideToUtf8(folder_));
    std::string error;
    HttpError http_error = HttpError::Ok;
    // Stored before it is judged: the core refuses it if it is not the shard, and a later check
    // fetches it again.
    if (!FetchToFile(*client_, Utf8ToWide(url), path, error, http_error)) {
        return Unavailable(error);
    }
    std::string core_path;
    if (!ToCorePath(path, core_path, error)) return Unavailable(error);
    Result<std::string> bytes = ReadTextFile(core_path, "shard " + url);
    if (!bytes.ok()) return bytes.status();
    ++fetched_;
    fetched_bytes_ += bytes.value().size();
    return bytes;
}

void ShardCache::KeepOnly(const std::vector<ShardEntry>& listed) const {
    std::set<std::wstring> names;
    for (const ShardEntry& shard : listed) names.insert(Utf8ToWide(ShardFileName(shard)));
    WIN32_FIND_DATAW found{};
    unique_hfind find(::FindFirstFileExW(JoinPath(folder_, L"*.txt").c_str(), FindExInfoBasic,
                                         &found, FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    std::vector<std::wstring> spent;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            names.count(found.cFileName) == 0) {
            spent.push_back(JoinPath(folder_, found.cFileName));
        }
    } while (::FindNextFileW(find.get(), &found));
    // A link is deleted as itself, never the file it leads to.
    for (const std::wstring& path : spent) ::DeleteFileW(path.c_str());
}

}  // namespace patcher::win
