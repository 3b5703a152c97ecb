// Scratch folders and signed release documents for the Validate, install diff and release tool
// tests: registries and manifests are written per case and signed with keys the tests make
// themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/ed25519.h"
#include "tests/core/test_ed25519_signer.h"

namespace patcher::test_support {

// A fresh folder under the temporary directory, removed with everything in it on destruction.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& name = "scratch");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The narrow path of a file inside, as the core takes paths.
    std::string Path(const std::string& relative = {}) const;
    // Creates the parent folders as needed and replaces any earlier content.
    void Write(const std::string& relative, std::string_view bytes) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    void Remove(const std::string& relative) const;
    // Names directly inside the folder, sorted, separated by spaces.
    std::string Listing() const;

  private:
    std::filesystem::path root_;
};

struct RegistryKey {
    std::string id;
    bool revoked = false;
    Ed25519PublicKey key{};
};

std::string KeyRegistryText(const std::string& version, const std::string& expires,
                            const std::vector<RegistryKey>& keys);

struct ManifestHeaderText {
    std::string version = "1.4.2";
    std::string channel = "live";
    std::string counter = "7";
    std::string created = "2024-05-01T12:00:00Z";
    std::string expires = "2031-01-01T00:00:00Z";
};

// "file <path> <size> <sha256> <url>" for the given content.
std::string FileLine(const std::string& path, std::string_view content);

std::string ManifestText(const ManifestHeaderText& header, const std::vector<std::string>& lines);

// Writes relative + ".sig" beside the document, signed with the key.
void SignFile(const ScratchDir& dir, const std::string& relative, const TestSigningKey& key);

// Content that neither compresses nor repeats, the same for the same seed.
std::string RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace patcher::test_support
