#include "tests/tools/release/test_release_tool_fixture.h"

#include <stdexcept>

#include "tools/release/file_io.h"
#include "tools/release/registry_document.h"

namespace patcher::release::test_support {

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
    const std::string signer_b64 = EncodeKeyBase64(signer.public_key());
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
