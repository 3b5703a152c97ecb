#include "tools/release/game_tree.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "core/name_case.h"
#include "core/release_path.h"
#include "core/text.h"

namespace patcher::release {
namespace fs = std::filesystem;
namespace {

// Paths in the order, and with the equality, of Windows' case rule.
struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return CompareNamesIgnoringCase(a, b) < 0;
    }
};

Status Refuse(const std::string& message) {
    return Status(StatusCode::BadInput, message);
}

}  // namespace

Result<std::vector<GameFile>> WalkGameTree(const std::string& root) {
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error))) {
        return Refuse("not a folder (or a symbolic link to one): " + root);
    }
    std::vector<GameFile> files;
    fs::recursive_directory_iterator walk(root, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::path& disk = walk->path();
        const std::string relative = disk.lexically_relative(root).generic_string();
        const fs::file_status status = walk->symlink_status(error);
        if (error) break;
        if (fs::is_symlink(status)) {
            return Refuse("refusing " + relative +
                          ": it is a symbolic link; publish the file itself instead");
        }
        if (fs::is_directory(status)) continue;
        if (!fs::is_regular_file(status)) {
            return Refuse("refusing " + relative + ": not a regular file (device, socket or pipe)");
        }
        const Status path_rule = CheckReleasePath(relative);
        if (!path_rule.ok()) {
            return Refuse("refusing " + PrintableCopy(relative) + ": " + path_rule.message);
        }
        files.push_back({relative, disk.string()});
    }
    if (error) return Refuse("cannot read the folder " + root + ": " + error.message());
    if (files.empty()) return Refuse("no files to publish in " + root);

    std::sort(files.begin(), files.end(),
              [](const GameFile& a, const GameFile& b) { return a.path < b.path; });
    std::vector<std::string> paths;
    for (const GameFile& file : files) paths.push_back(file.path);
    const Status collisions = CheckWindowsCollisions(paths);
    if (!collisions.ok()) return collisions;
    return files;
}

Status CheckWindowsCollisions(const std::vector<std::string>& sorted_paths) {
    std::set<std::string, NameLess> files;                 // as first spelt
    std::map<std::string, std::string, NameLess> folders;  // folder -> a file inside it
    for (const std::string& path : sorted_paths) {
        const auto [slot, inserted] = files.insert(path);
        if (!inserted && *slot == path) {
            return Status(StatusCode::BadFormat,
                          "manifest names the same file twice, so the download set is "
                          "ambiguous: " +
                              path);
        }
        if (!inserted) {
            return Refuse("refusing " + path + " and " + *slot +
                          ": Windows would store both as one file (they differ only in letter "
                          "case)");
        }
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            folders.emplace(path.substr(0, slash), path);
        }
    }
    for (const std::string& path : files) {
        const auto folder = folders.find(path);
        if (folder != folders.end()) {
            return Refuse("refusing " + path + " and " + folder->second +
                          ": Windows would need one name for both a file and a folder");
        }
    }
    return Status::Success();
}

}  // namespace patcher::release
