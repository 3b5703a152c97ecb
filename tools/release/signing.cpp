#include "tools/release/signing.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdint>

#include "tools/release/file_io.h"

namespace patcher::release {

struct SigningKey::Handle {
    EVP_PKEY* key = nullptr;
    ~Handle() { EVP_PKEY_free(key); }
};

namespace {

constexpr std::uint64_t kMaxPemBytes = 16384;

std::string OpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown OpenSSL error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// Refuses to ask for a passphrase: an encrypted key file is reported, not prompted for.
int NoPassphrase(char*, int, int, void*) {
    return 0;
}

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};

bool ExtractPublicKey(EVP_PKEY* key, Ed25519PublicKey& out) {
    std::size_t length = out.size();
    return EVP_PKEY_get_raw_public_key(key, out.data(), &length) == 1 && length == out.size();
}

}  // namespace

SigningKey::SigningKey() : handle_(std::make_unique<Handle>()) {}
SigningKey::~SigningKey() = default;
SigningKey::SigningKey(SigningKey&&) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&&) noexcept = default;

Result<SigningKey> SigningKey::Generate() {
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter> ctx(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
    SigningKey result;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_keygen(ctx.get(), &result.handle_->key) != 1 ||
        !ExtractPublicKey(result.handle_->key, result.public_key_)) {
        return Status(StatusCode::BadInput, "cannot generate an Ed25519 key: " + OpenSslError());
    }
    return result;
}

Result<SigningKey> SigningKey::LoadPem(const std::string& path) {
    Result<std::string> pem = ReadWholeFile(path, kMaxPemBytes);
    if (!pem.ok()) return pem.status();
    std::unique_ptr<BIO, BioDeleter> bio(
        BIO_new_mem_buf(pem.value().data(), static_cast<int>(pem.value().size())));
    SigningKey result;
    if (bio)
        result.handle_->key = PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr);
    WipeString(pem.value());
    if (result.handle_->key == nullptr) {
        ERR_clear_error();
        return Status(StatusCode::BadInput,
                      path + " is not an unencrypted PEM private key (as keygen writes them)");
    }
    if (EVP_PKEY_get_id(result.handle_->key) != EVP_PKEY_ED25519 ||
        !ExtractPublicKey(result.handle_->key, result.public_key_)) {
        return Status(StatusCode::BadInput, path + " is not an Ed25519 private key");
    }
    return result;
}

Result<std::string> SigningKey::PemText() const {
    // Secure-heap memory is cleared by OpenSSL when the BIO is freed.
    std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_secmem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), handle_->key, nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        return Status(StatusCode::BadInput, "cannot encode the private key: " + OpenSslError());
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    if (length <= 0 || data == nullptr) {
        return Status(StatusCode::BadInput, "cannot encode the private key");
    }
    std::string text(data, static_cast<std::size_t>(length));
    OPENSSL_cleanse(data, static_cast<std::size_t>(length));
    return text;
}

Result<std::string> SigningKey::Sign(std::string_view message) const {
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, handle_->key) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1 ||
        length != 64) {
        return Status(StatusCode::BadSignature, "signing failed: " + OpenSslError());
    }
    if (!VerifyEd25519(public_key_, message, signature)) {
        return Status(StatusCode::BadSignature,
                      "the new signature does not verify with the patcher's check");
    }
    return signature;
}

std::string EncodeKeyBase64(const Ed25519PublicKey& key) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    std::uint32_t bits = 0;
    int held = 0;
    for (std::uint8_t byte : key) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 6) {
            held -= 6;
            text += kAlphabet[(bits >> held) & 63];
        }
    }
    // 256 bits leave 4 over: the 43rd character carries them with two zero bits below.
    if (held > 0) text += kAlphabet[(bits << (6 - held)) & 63];
    text += '=';
    return text;
}

void WipeString(std::string& secret) {
    if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
    secret.clear();
}

}  // namespace patcher::release
