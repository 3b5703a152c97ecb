#include "rules/download_plan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "core/text.h"

#include "rules/path_text.h"

namespace patcher::rules {
namespace {

std::wstring Comparable(std::wstring path) {
    for (wchar_t& c : path) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::string FoldAscii(std::string path) {
    for (char& c : path) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return path;
}

}  // namespace

void PlanDeltas(std::vector<DiffItem>& items, const std::vector<DeltaListing>& deltas) {
    std::map<std::pair<std::string, std::string>, std::uint64_t> listed;
    for (const DeltaListing& delta : deltas) {
        listed.emplace(std::make_pair(delta.new_sha256, delta.old_sha256), delta.bytes);
    }
    for (DiffItem& item : items) {
        item.delta_bytes = 0;
        if (item.old_sha256.empty()) continue;
        const auto found = listed.find({item.sha256, item.old_sha256});
        if (found != listed.end() && found->second > 0 && found->second < item.size) {
            item.delta_bytes = found->second;
        }
    }
}

std::uint64_t FetchBytes(const std::vector<DiffItem>& items) {
    std::uint64_t bytes = 0;
    for (const DiffItem& item : items) {
        bytes += item.delta_bytes != 0 ? item.delta_bytes : item.size;
    }
    return bytes;
}

std::uint32_t DownloadWorkerCount(std::uint32_t configured, std::size_t items) {
    std::uint32_t count = configured == 0 ? kDefaultDownloadWorkers : configured;
    count = std::min(count, kMaxDownloadWorkers);
    return static_cast<std::uint32_t>(std::min<std::size_t>(count, items));
}

std::optional<std::string> DuplicatePath(const std::vector<DiffItem>& items) {
    struct Key {
        std::string folded;
        const std::string* path;
    };
    std::vector<Key> keys;
    keys.reserve(items.size());
    for (const DiffItem& item : items) keys.push_back({FoldAscii(item.path), &item.path});
    // Stable, so that of two spellings the one listed first is named.
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key& a, const Key& b) { return a.folded < b.folded; });
    const auto same = std::adjacent_find(
        keys.begin(), keys.end(), [](const Key& a, const Key& b) { return a.folded == b.folded; });
    if (same == keys.end()) return std::nullopt;
    return *same->path;
}

std::uint64_t FileDeadlineMs(std::uint64_t expected_size) {
    return (expected_size / 16384 + 61) * 1000;
}

std::string ReservedPathReason(const std::wstring& destination, const std::wstring& executable,
                               const std::wstring& log_path) {
    const std::wstring target = Comparable(destination);
    if (!executable.empty()) {
        const std::wstring exe = Comparable(executable);
        if (target == exe) return "it is the running patcher executable";
        if (target == exe + L".new" || target == exe + L".old") {
            return "it is a working name of the patcher's self-update";
        }
        if (target == Comparable(JoinPath(ParentPath(executable), L"patcher.cfg"))) {
            return "it is the patcher's settings file";
        }
    }
    if (!log_path.empty()) {
        const std::wstring log = Comparable(log_path);
        if (target == log) return "it is the support log, which is open for writing";
        if (target == log + L".1" || target == log + L".2") {
            return "it is a rotated copy of the support log";
        }
    }
    return std::string();
}

bool MayBeReservedName(std::wstring_view name, std::wstring_view executable_name,
                       std::wstring_view log_name) {
    if (name.empty() || name.find_first_of(L"~:") != std::wstring_view::npos ||
        name.back() == L'.' || name.back() == L' ') {
        return true;
    }
    const auto is = [&](std::wstring_view base, std::wstring_view suffix) {
        return !base.empty() && name.size() == base.size() + suffix.size() &&
               name.substr(0, base.size()) == base && name.substr(base.size()) == suffix;
    };
    return is(executable_name, L"") || is(executable_name, L".NEW") ||
           is(executable_name, L".OLD") || name == L"PATCHER.CFG" || is(log_name, L"") ||
           is(log_name, L".1") || is(log_name, L".2");
}

}  // namespace patcher::rules
