// SHA-256 (both transforms) and the Ed25519 check against OpenSSL, and HashFileSha256 on a file
// named by GARUN2_BENCH_FILE (scripts/bench.sh creates a 1 GiB one). Run through scripts/bench.sh,
// which prints the ratios.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/ed25519.h"
#include "core/file_hash.h"
#include "core/sha256.h"

namespace {

std::vector<std::uint8_t> Buffer(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return data;
}

void ProjectSha256(benchmark::State& state, patcher::Sha256Engine engine) {
    if (engine == patcher::Sha256Engine::ShaExtensions &&
        !patcher::Sha256ShaExtensionsAvailable()) {
        state.SkipWithError("no SHA extensions on this CPU");
        return;
    }
    const auto data = Buffer(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        patcher::Sha256 hasher(engine);
        hasher.Update(data.data(), data.size());
        benchmark::DoNotOptimize(hasher.Finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Sha256_Portable(benchmark::State& state) {
    ProjectSha256(state, patcher::Sha256Engine::Portable);
}
void BM_Sha256_ShaNi(benchmark::State& state) {
    ProjectSha256(state, patcher::Sha256Engine::ShaExtensions);
}

void BM_Sha256_OpenSSL(benchmark::State& state) {
    const auto data = Buffer(static_cast<std::size_t>(state.range(0)));
    unsigned char digest[32];
    for (auto _ : state) {
        SHA256(data.data(), data.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_Sha256_Portable)->Arg(1 << 10)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Sha256_ShaNi)->Arg(1 << 10)->Arg(64 << 10)->Arg(16 << 20);
BENCHMARK(BM_Sha256_OpenSSL)->Arg(1 << 10)->Arg(64 << 10)->Arg(16 << 20);

void BM_HashFileSha256(benchmark::State& state) {
    const char* path = std::getenv("GARUN2_BENCH_FILE");
    if (path == nullptr) {
        state.SkipWithError("GARUN2_BENCH_FILE not set");
        return;
    }
    for (auto _ : state) {
        const patcher::Result<std::string> digest = patcher::HashFileSha256(path);
        if (!digest.ok()) {
            state.SkipWithError(digest.status().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(digest.value());
    }
}
BENCHMARK(BM_HashFileSha256)->Unit(benchmark::kMillisecond)->Iterations(3);

// One key, one 256-byte message and its signature made by OpenSSL; our check must accept it.
struct SignedMessage {
    patcher::Ed25519PublicKey key{};
    std::string message = std::string(256, 'm');
    std::string signature;
    EVP_PKEY* pkey = nullptr;
};

const SignedMessage& Fixture() {
    static const SignedMessage fixture = [] {
        SignedMessage f;
        unsigned char seed[32];
        for (int i = 0; i < 32; ++i) seed[i] = static_cast<unsigned char>(i * 9 + 1);
        EVP_PKEY* pkey = EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32);
        std::size_t key_length = f.key.size();
        EVP_PKEY_get_raw_public_key(pkey, f.key.data(), &key_length);
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, pkey);
        unsigned char sig[64];
        std::size_t sig_length = sizeof(sig);
        EVP_DigestSign(ctx, sig, &sig_length,
                       reinterpret_cast<const unsigned char*>(f.message.data()), f.message.size());
        EVP_MD_CTX_free(ctx);
        f.signature.assign(reinterpret_cast<const char*>(sig), sig_length);
        f.pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, f.key.data(), 32);
        EVP_PKEY_free(pkey);
        return f;
    }();
    return fixture;
}

void BM_Ed25519Verify_Project(benchmark::State& state) {
    const SignedMessage& f = Fixture();
    if (!patcher::VerifyEd25519(f.key, f.message, f.signature)) {
        state.SkipWithError("our check refused OpenSSL's signature");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(patcher::VerifyEd25519(f.key, f.message, f.signature));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_Ed25519Verify_ProjectPortableField(benchmark::State& state) {
    const SignedMessage& f = Fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            patcher::ed25519_detail::VerifyWithPortableField(f.key, f.message, f.signature));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void BM_Ed25519Verify_OpenSSL(benchmark::State& state) {
    const SignedMessage& f = Fixture();
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    for (auto _ : state) {
        EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, f.pkey);
        const int ok = EVP_DigestVerify(
            ctx, reinterpret_cast<const unsigned char*>(f.signature.data()), f.signature.size(),
            reinterpret_cast<const unsigned char*>(f.message.data()), f.message.size());
        if (ok != 1) {
            state.SkipWithError("OpenSSL refused its own signature");
            break;
        }
    }
    EVP_MD_CTX_free(ctx);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

BENCHMARK(BM_Ed25519Verify_Project);
BENCHMARK(BM_Ed25519Verify_ProjectPortableField);
BENCHMARK(BM_Ed25519Verify_OpenSSL);

}  // namespace

BENCHMARK_MAIN();
