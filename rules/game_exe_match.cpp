#include "rules/game_exe_match.h"

#include <algorithm>

namespace patcher::rules {
namespace {

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view FileNameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string NormaliseGameExe(const std::string& configured_utf8) {
    std::string path = configured_utf8;
    std::replace(path.begin(), path.end(), '\\', '/');
    path.erase(0, path.find_first_not_of('/'));  // all slashes: npos erases everything
    return AsciiLower(path);
}

GameExeMatch MatchGameExe(const std::vector<FileEntry>& entries,
                          const std::string& configured_utf8) {
    GameExeMatch match;
    const std::string wanted = NormaliseGameExe(configured_utf8);
    const std::string wanted_name(FileNameOf(wanted));
    for (const FileEntry& entry : entries) {
        const std::string path = AsciiLower(entry.path);
        if (path == wanted) {
            match.in_manifest = true;
            match.manifest_path = std::string(entry.path);
            break;
        }
        if (match.same_name_path.empty() && FileNameOf(path) == wanted_name) {
            match.same_name_path = std::string(entry.path);
        }
    }
    return match;
}

}  // namespace patcher::rules
