// Ed25519 key pairs and signatures through OpenSSL. This is the only place the tool makes keys or
// signs; every check of what it signed goes through the core's own verifier instead.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/ed25519.h"
#include "core/status.h"

namespace patcher::release {

// An Ed25519 private key held by OpenSSL, freed (and cleared by OpenSSL) when it goes.
class SigningKey {
  public:
    SigningKey();
    ~SigningKey();
    SigningKey(SigningKey&&) noexcept;
    SigningKey& operator=(SigningKey&&) noexcept;

    // A fresh random key pair.
    static Result<SigningKey> Generate();
    // A PKCS#8 PEM file holding an unencrypted Ed25519 private key.
    static Result<SigningKey> LoadPem(const std::string& path);

    const Ed25519PublicKey& public_key() const { return public_key_; }
    // The unencrypted PKCS#8 PEM text; the caller wipes it after use (WipeString).
    Result<std::string> PemText() const;
    // The 64-byte signature (R then S) of the message, checked with the core's verifier before
    // it is handed out, so that nothing the patcher would refuse leaves the tool.
    Result<std::string> Sign(std::string_view message) const;

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    Ed25519PublicKey public_key_{};
};

// The 44-character standard base64 text of a public key, as keys.txt and the root key use it.
std::string EncodeKeyBase64(const Ed25519PublicKey& key);

// Overwrites the string's bytes with zeros before it is released.
void WipeString(std::string& secret);

}  // namespace patcher::release
