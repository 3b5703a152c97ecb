#include "win/engine/form_fetch.h"

#include <unordered_set>

#include "core/compressed_form.h"
#include "core/form_decoder.h"
#include "core/url_join.h"
#include "rules/download_plan.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

HttpResponse FetchReleaseList(const BodySource& source, const std::wstring& base_url,
                              const char* name, std::uint64_t cap, std::string& text) {
    text.clear();
    return source(
        BodyRequest{UrlJoin(base_url, Utf8ToWide(name)), std::wstring(), cap, FileDeadlineMs(cap)},
        [](const HttpBodyStart& start) { return start.status == 200; },
        [&](const char* bytes, std::uint32_t length) {
            text.append(bytes, length);
            return true;
        },
        [](std::uint64_t, std::uint64_t) {});
}

std::unordered_map<std::string, std::uint64_t> FetchFormList(const BodySource& source,
                                                             const std::wstring& base_url,
                                                             const std::vector<DiffItem>& items) {
    std::unordered_set<std::string> wanted;
    for (const DiffItem& item : items) wanted.insert(item.sha256);
    std::string text;
    const HttpResponse response =
        FetchReleaseList(source, base_url, kFormListName, kFormListCapBytes, text);
    if (response.error != HttpError::Ok) {
        LogLine("download: no list of compressed forms: " + DescribeResponse(response) +
                "; every file is fetched as it is");
        return {};
    }
    std::unordered_map<std::string, std::uint64_t> forms = ParseFormList(text, wanted);
    LogLine("download: " + std::to_string(forms.size()) + " of " + std::to_string(items.size()) +
            " file(s) have a compressed form");
    return forms;
}

DecodeResult FetchWholeForm(const BodySource& source, const DiffItem& item,
                            std::uint64_t form_bytes, Transfer& transfer, std::string& why) {
    FormDecoder decoder(transfer.expected());
    bool refused = false;
    const HttpResponse response = source(
        BodyRequest{Utf8ToWide(item.url + kFormSuffix), std::wstring(), form_bytes,
                    FileDeadlineMs(form_bytes)},
        [](const HttpBodyStart& start) { return start.status == 200; },
        [&](const char* bytes, std::uint32_t length) {
            if (!transfer.Pace(length)) return false;
            transfer.CountWireBytes(length);
            if (decoder.Feed(bytes, length, [&](const char* decoded, std::uint32_t size) {
                    return transfer.AcceptDecoded(decoded, size);
                })) {
                return true;
            }
            refused = !decoder.why().empty();
            return false;
        },
        [&](std::uint64_t, std::uint64_t) { transfer.Progress(); });
    if (transfer.cancelled()) return DecodeResult::Cancelled;
    if (response.error == HttpError::Ok && decoder.done()) return DecodeResult::Decoded;
    if (refused) {
        why = "the compressed form is refused: " + decoder.why();
    } else if (response.error == HttpError::Ok) {
        why = "the compressed form ends part-way";
    } else {
        why = "the compressed form could not be fetched: " + DescribeResponse(response);
    }
    return DecodeResult::Fallback;
}

}  // namespace patcher::win
