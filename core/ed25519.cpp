#include "core/ed25519.h"

#include "core/ed25519_field16.h"
#include "core/ed25519_field51.h"
#include "core/ed25519_group.h"
#include "core/ed25519_scalar.h"
#include "core/sha512.h"

namespace patcher {
namespace ed25519_detail {
namespace {

template <class F>
bool Verify(const Ed25519PublicKey& public_key, std::string_view message,
            std::string_view signature) {
    using C = Curve<F>;
    if (signature.size() != 64) return false;
    const auto* r_bytes = reinterpret_cast<const std::uint8_t*>(signature.data());
    const std::uint8_t* s_bytes = r_bytes + 32;
    if (!ScalarIsBelowOrder(s_bytes)) return false;

    typename C::Extended a;
    typename C::Extended r;
    if (!C::Decode(public_key.data(), a) || !C::Decode(r_bytes, r)) return false;

    // h is taken over the encodings exactly as received, not over re-encoded points.
    Sha512 hasher;
    hasher.Update(r_bytes, 32);
    hasher.Update(public_key.data(), public_key.size());
    hasher.Update(message.data(), message.size());
    const Sha512Digest digest = hasher.Finish();
    std::uint8_t h[32];
    ScalarReduce64(digest.data(), h);

    return C::CofactoredEquationHolds(a, r, s_bytes, h);
}

}  // namespace

bool VerifyWithPortableField(const Ed25519PublicKey& public_key, std::string_view message,
                             std::string_view signature) {
    return Verify<Field16>(public_key, message, signature);
}

#if defined(GARUN2_HAVE_FIELD51)
bool WideFieldAvailable() {
    return true;
}
bool VerifyWithWideField(const Ed25519PublicKey& public_key, std::string_view message,
                         std::string_view signature) {
    return Verify<Field51>(public_key, message, signature);
}
#else
bool WideFieldAvailable() {
    return false;
}
bool VerifyWithWideField(const Ed25519PublicKey& public_key, std::string_view message,
                         std::string_view signature) {
    return Verify<Field16>(public_key, message, signature);
}
#endif

}  // namespace ed25519_detail

bool VerifyEd25519(const Ed25519PublicKey& public_key, std::string_view message,
                   std::string_view signature) {
    return ed25519_detail::VerifyWithWideField(public_key, message, signature);
}

}  // namespace patcher
