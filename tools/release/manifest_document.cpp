#include "tools/release/manifest_document.h"

#include <cstdint>

#include "core/file_hash.h"
#include "core/manifest.h"
#include "core/text.h"

namespace patcher::release {
namespace {

bool IsFieldText(const std::string& value) {
    if (value.empty()) return false;
    for (unsigned char c : value) {
        if (c <= 32 || c > 126) return false;
    }
    return true;
}

std::string HeaderText(const ManifestValues& values) {
    return "version " + values.version + "\nchannel " + values.channel + "\ncounter " +
           values.counter + "\ncreated " + values.created + "\nexpires " + values.expires + "\n";
}

Status Usage(const std::string& message) {
    return Status(StatusCode::BadInput, message);
}

}  // namespace

Status CheckManifestValues(const ManifestValues& values, const std::string& now) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"--version", &values.version}, {"--channel", &values.channel},
        {"--counter", &values.counter}, {"--created", &values.created},
        {"--expires", &values.expires}, {"--base-url", &values.base_url}};
    for (const auto& [option, value] : fields) {
        if (!IsFieldText(*value)) {
            return Usage(std::string(option) + " must be printable ASCII without spaces");
        }
    }
    const std::string header = HeaderText(values);
    const Result<ManifestHeader> parsed = ParseManifestHeader(header);
    if (!parsed.ok()) return Usage(parsed.status().message);
    std::uint64_t counter = 0;
    if (!ParseU64(values.counter, counter)) {
        return Usage("--counter must be a decimal number below 2^64");
    }
    if (values.base_url.rfind("https://", 0) != 0 || values.base_url.size() <= 8 ||
        values.base_url[8] == '/') {
        return Usage(
            "--base-url must be an https:// address with a host (the patcher fetches "
            "over HTTPS only)");
    }
    if (!IsIsoUtc(now)) return Usage("--now must be YYYY-MM-DDTHH:MM:SSZ");
    if (IsAtOrAfter(values.created, values.expires)) {
        return Usage("--expires " + values.expires + " is not after --created " + values.created);
    }
    if (IsAtOrAfter(now, values.expires)) {
        return Usage("--expires " + values.expires + " is not after now (" + now +
                     "): the patcher would refuse the manifest as expired");
    }
    return Status::Success();
}

Result<std::string> RenderManifest(const ManifestValues& values,
                                   const std::vector<ManifestFile>& files) {
    std::string text = HeaderText(values);
    for (const ManifestFile& file : files) {
        text += "file " + file.path + " " + file.size + " " + file.sha256 + " " +
                (file.url.empty() ? UrlJoin(values.base_url, file.path) : file.url) + "\n";
    }
    if (text.size() > kMaxDocumentBytes) {
        return Status(StatusCode::BadFormat,
                      "manifest would be " + std::to_string(text.size()) +
                          " bytes, above the patcher's 1 MB cap; publish fewer or shorter paths");
    }
    Status status = CheckTextFormat(text, "manifest");
    if (!status.ok()) return status;
    const Result<ManifestHeader> header = ParseManifestHeader(text);
    if (!header.ok()) return header.status();
    const Result<std::vector<FileEntry>> entries = ParseManifestFiles(text);
    if (!entries.ok()) return entries.status();
    if (entries.value().size() != files.size()) {
        return Status(StatusCode::BadFormat, "manifest lines do not match the files walked");
    }
    return text;
}

Result<std::vector<ManifestFile>> DescribeFiles(const std::vector<GameFile>& files) {
    std::vector<ManifestFile> described;
    described.reserve(files.size());
    for (const GameFile& file : files) {
        std::uint64_t size = 0;
        if (!GetFileSize(file.disk_path, size)) {
            return Status(StatusCode::BadInput, "cannot read the size of " + file.disk_path);
        }
        Result<std::string> digest = HashFileSha256(file.disk_path);
        if (!digest.ok()) return digest.status();
        described.push_back({file.path, std::to_string(size), digest.value(), std::string()});
    }
    return described;
}

}  // namespace patcher::release
