#include "tests/core/test_release_fixture.h"

#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "core/sha256.h"

namespace patcher::test_support {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& name) {
    // A random suffix keeps two test runs on one machine (native and Wine, or two checkouts) apart.
    std::random_device random;
    root_ = fs::temp_directory_path() / ("garun2_" + name + "_" + std::to_string(random()));
    fs::remove_all(root_);
    fs::create_directories(root_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string ScratchDir::Path(const std::string& relative) const {
    if (relative.empty()) return root_.string();
    return (root_ / fs::path(relative)).string();
}

void ScratchDir::Write(const std::string& relative, std::string_view bytes) const {
    const fs::path path = root_ / fs::path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file " + path.string());
}

std::string ScratchDir::Read(const std::string& relative) const {
    std::ifstream in(root_ / fs::path(relative), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool ScratchDir::Exists(const std::string& relative) const {
    return fs::exists(root_ / fs::path(relative));
}

void ScratchDir::Remove(const std::string& relative) const {
    fs::remove(root_ / fs::path(relative));
}

std::string ScratchDir::Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) {
        names.insert(entry.path().filename().string());
    }
    std::string listing;
    for (const std::string& name : names) listing += (listing.empty() ? "" : " ") + name;
    return listing;
}

std::string KeyRegistryText(const std::string& version, const std::string& expires,
                            const std::vector<RegistryKey>& keys) {
    std::string text = "version " + version + "\nexpires " + expires + "\n";
    for (const RegistryKey& key : keys) {
        text += "key " + key.id + (key.revoked ? " revoked " : " valid ") +
                PublicKeyBase64(key.key) + "\n";
    }
    return text;
}

std::string FileLine(const std::string& path, std::string_view content) {
    return "file " + path + " " + std::to_string(content.size()) + " " + Sha256Hex(content) +
           " https://cdn.example/r/" + path;
}

std::string ManifestText(const ManifestHeaderText& header, const std::vector<std::string>& lines) {
    std::string text = "version " + header.version + "\nchannel " + header.channel + "\ncounter " +
                       header.counter + "\ncreated " + header.created + "\nexpires " +
                       header.expires + "\n";
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

void SignFile(const ScratchDir& dir, const std::string& relative, const TestSigningKey& key) {
    dir.Write(relative + ".sig", SignEd25519(key, dir.Read(relative)));
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

}  // namespace patcher::test_support
