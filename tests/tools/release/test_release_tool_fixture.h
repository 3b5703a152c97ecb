// Scratch folders, keys and a signed registry for the release tool's tests, made with the tool's
// own library so that every case starts from what an operator would have.
#pragma once

#include <string>
#include <string_view>

#include "tools/release/signing.h"

namespace patcher::release::test_support {

// A fresh folder under the temporary directory, removed with its content on destruction.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Path(const std::string& relative = {}) const;
    // Creates parent folders as needed.
    void Write(const std::string& relative, std::string_view bytes) const;
    std::string Read(const std::string& relative) const;
    bool Exists(const std::string& relative) const;
    // Names directly inside the folder, sorted.
    std::string Listing() const;

  private:
    std::string root_;
};

// Writes the key's PEM at path.
void SavePem(const SigningKey& key, const std::string& path);

// An operator's starting point in a folder: root.pem, sign.pem, keys.txt (version 1, the signing
// key as "live1") and keys.txt.sig, and a game folder with three files.
struct Operator {
    explicit Operator(const TempFolder& folder);
    SigningKey root;
    SigningKey signer;
    std::string root_b64;
    std::string signer_b64;
};

}  // namespace patcher::release::test_support
