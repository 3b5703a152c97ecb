#include "tests/tools/release/test_release_tool_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/release/file_io.h"
#include "tools/release/registry_document.h"

namespace patcher::release::test_support {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "garun2_release_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempFolder::Path(const std::string& relative) const {
    return relative.empty() ? root_ : root_ + "/" + relative;
}

void TempFolder::Write(const std::string& relative, std::string_view bytes) const {
    const fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string TempFolder::Read(const std::string& relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool TempFolder::Exists(const std::string& relative) const {
    return PathExists(Path(relative));
}

std::string TempFolder::Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string& name : names) listing += (listing.empty() ? "" : " ") + name;
    return listing;
}

void SavePem(const SigningKey& key, const std::string& path) {
    Result<std::string> pem = key.PemText();
    if (!pem.ok() || !WriteNewFile(path, pem.value(), 0600).ok()) {
        throw std::runtime_error("cannot save " + path);
    }
}

namespace {

SigningKey NewKey() {
    Result<SigningKey> key = SigningKey::Generate();
    if (!key.ok()) throw std::runtime_error(key.status().message);
    return std::move(key).value();
}

}  // namespace

Operator::Operator(const TempFolder& folder) : root(NewKey()), signer(NewKey()) {
    root_b64 = EncodeKeyBase64(root.public_key());
    signer_b64 = EncodeKeyBase64(signer.public_key());
    SavePem(root, folder.Path("root.pem"));
    SavePem(signer, folder.Path("sign.pem"));
    RegistryDraft draft{"1", "2031-01-01T00:00:00Z", {}};
    if (!AddRegistryKey(draft, "live1", signer_b64).ok()) throw std::runtime_error("add");
    Result<std::string> text = RenderRegistry(draft);
    if (!text.ok()) throw std::runtime_error(text.status().message);
    folder.Write("keys.txt", text.value());
    folder.Write("keys.txt.sig", root.Sign(text.value()).value());
    folder.Write("game/Velmor2.exe", "MZ game");
    folder.Write("game/data/maps/a.bin", std::string(70000, 'a'));
    folder.Write("game/empty.dat", "");
}

}  // namespace patcher::release::test_support
