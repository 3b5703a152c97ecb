#include "win/engine/news_feed.h"

#include <optional>

#include "core/signature.h"
#include "core/url_join.h"
#include "rules/accepted_release.h"
#include "win/engine/release_paths.h"
#include "win/platform/http_client.h"
#include "win/platform/paths.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

// The support log's words for one kind of signed item.
struct ItemWords {
    const char* area;          // "news: " or "stage: "
    const char* fetch_failed;  // the item itself could not be fetched
    const char* no_signature;  // its signature could not be fetched
    const char* verify_label;  // the label VerifyDetached quotes
};

constexpr ItemWords kNewsWords{"news: ", "fetch failed", "no signature, feed not shown",
                               "news feed"};
constexpr ItemWords kStageWords{"stage: ", "none published (or fetch failed)",
                                "no signature, picture not shown", "stage art"};

void LogFailure(const ItemWords& words, const std::string& what, const std::string& detail) {
    LogLine(std::string(words.area) + what + " :: " + detail);
}

// The item's verified bytes, or nothing after one log line.
std::optional<std::string> FetchSigned(const std::wstring& url, std::uint32_t cap,
                                       const std::vector<KeyEntry>& keys, const ItemWords& words) {
    const HttpClient client;
    if (!client.has_session()) return std::nullopt;
    std::string bytes, signature;
    if (client.GetToString(url, cap, bytes).error != HttpError::Ok) {
        LogFailure(words, words.fetch_failed, WideToUtf8(url));
        return std::nullopt;
    }
    const std::wstring signature_url = url + L".sig";
    if (client.GetToString(signature_url, kNewsSignatureCapBytes, signature).error !=
        HttpError::Ok) {
        LogFailure(words, words.no_signature, WideToUtf8(signature_url));
        return std::nullopt;
    }
    Ed25519PublicKey key{};
    if (FindSigner(keys, bytes, signature, /*skip_revoked=*/true, key) == nullptr) {
        LogFailure(words, "no non-revoked key verifies", WideToUtf8(url));
        return std::nullopt;
    }
    Result<std::string> verified = VerifyDetached(words.verify_label, bytes, signature, key);
    if (!verified.ok()) {
        LogFailure(words, "verify failed", verified.status().message);
        return std::nullopt;
    }
    return std::move(verified).value();
}

}  // namespace

std::wstring AcceptedKeysPath(const PatcherConfig& config) {
    return ReleasePathsOf(JoinPath(config.data_directory, L"current")).keys;
}

NewsDocument FetchNewsDocument(const std::wstring& name, const std::wstring& base_url,
                               const std::vector<KeyEntry>& keys) {
    const std::optional<std::string> verified =
        FetchSigned(UrlJoin(base_url, name), kMaxNewsDocumentBytes, keys, kNewsWords);
    if (!verified) return NewsDocument();
    Result<NewsDocument> parsed = ParseNewsDocument(*verified);
    if (!parsed.ok()) {
        LogFailure(kNewsWords, "parse failed", parsed.status().message);
        return NewsDocument();
    }
    return std::move(parsed).value();
}

std::string FetchStageArt(const std::wstring& base_url, const std::vector<KeyEntry>& keys) {
    std::optional<std::string> verified =
        FetchSigned(UrlJoin(base_url, L"stage.jpg"), kMaxStageArtBytes, keys, kStageWords);
    return verified ? std::move(*verified) : std::string();
}

NewsBundle FetchNews(const std::wstring& base_url, const std::string& root_key,
                     const std::wstring& accepted_keys_path) {
    NewsBundle bundle;
    std::string keys_path, error;
    AcceptedKeys registry;
    if (!ToCorePath(accepted_keys_path, keys_path, error) ||
        !AcceptKeys(root_key, keys_path, registry, error)) {
        LogLine("news: no key registry yet :: " + error);
        return bundle;
    }
    bundle.announce = FetchNewsDocument(L"announce.txt", base_url, registry.keys);
    bundle.updates = FetchNewsDocument(L"updates.txt", base_url, registry.keys);
    bundle.stage_jpeg = FetchStageArt(base_url, registry.keys);
    return bundle;
}

}  // namespace patcher::win
