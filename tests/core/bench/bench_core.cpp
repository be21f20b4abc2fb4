// Throughput of KSB::CAesCrypt's Encrypt and Decrypt on one 64 MiB buffer for
// each key size, beside OpenSSL's ECB doing the same work in the same run.
// scripts/bench-core runs it with OpenSSL's AES-NI turned off (OPENSSL_ia32cap),
// so that both sides run software AES. At the end a table gives MB/s (10^6 bytes
// per second, median of the repetitions) and the ratio Tessiva / OpenSSL.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Tessiva/AesCrypt.h"

namespace {

using KSB::CAesCrypt;

constexpr size_t kBufferSize = 64u << 20;

std::vector<unsigned char>& sourceBuffer() {
    static std::vector<unsigned char> buffer = [] {
        std::vector<unsigned char> bytes(kBufferSize);
        uint32_t state = 12345;
        for (unsigned char& b : bytes) {
            state = state * 1103515245u + 12345u;
            b = static_cast<unsigned char>(state >> 24);
        }
        return bytes;
    }();
    return buffer;
}

std::vector<unsigned char>& targetBuffer() {
    static std::vector<unsigned char> buffer(kBufferSize, 0);
    return buffer;
}

const unsigned char kKey[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                                0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                                0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};

void tessiva(benchmark::State& state, bool encrypt) {
    const auto type = static_cast<CAesCrypt::SE_AES_TYPE>(state.range(0));
    CAesCrypt aes;
    const bool keyed = encrypt ? aes.SetEncryptKey(kKey, type) : aes.SetDecryptKey(kKey, type);
    if (!keyed) state.SkipWithError("key refused");
    const unsigned char* src = sourceBuffer().data();
    unsigned char* dst = targetBuffer().data();
    for (auto _ : state) {
        if (encrypt) {
            aes.Encrypt(src, dst, static_cast<uint32_t>(kBufferSize));
        } else {
            aes.Decrypt(src, dst, static_cast<uint32_t>(kBufferSize));
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferSize));
}

const EVP_CIPHER* opensslEcb(int bits) {
    return bits == 128 ? EVP_aes_128_ecb() : bits == 192 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}

void openssl(benchmark::State& state, bool encrypt) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(context, opensslEcb(static_cast<int>(state.range(0))), nullptr, kKey, nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(context, 0);
    const unsigned char* src = sourceBuffer().data();
    unsigned char* dst = targetBuffer().data();
    for (auto _ : state) {
        int written = 0;
        if (EVP_CipherUpdate(context, dst, &written, src, static_cast<int>(kBufferSize)) != 1) {
            state.SkipWithError("EVP_CipherUpdate failed");
            break;
        }
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(context);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferSize));
}

void BM_TessivaEncrypt(benchmark::State& state) { tessiva(state, true); }
void BM_TessivaDecrypt(benchmark::State& state) { tessiva(state, false); }
void BM_OpenSslEncrypt(benchmark::State& state) { openssl(state, true); }
void BM_OpenSslDecrypt(benchmark::State& state) { openssl(state, false); }

BENCHMARK(BM_TessivaEncrypt)->Arg(128)->Arg(192)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSslEncrypt)->Arg(128)->Arg(192)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TessivaDecrypt)->Arg(128)->Arg(192)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenSslDecrypt)->Arg(128)->Arg(192)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps the console output and collects bytes per second of every run by name
// ("BM_TessivaEncrypt/128"), repetitions included.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const auto counter = run.counters.find("bytes_per_second");
            if (counter != run.counters.end())
                m_rates[run.run_name.function_name + "/" + run.run_name.args].push_back(counter->second.value);
        }
    }

    double medianMBps(const std::string& name) const {
        const auto found = m_rates.find(name);
        if (found == m_rates.end() || found->second.empty()) return 0.0;
        std::vector<double> rates = found->second;
        std::sort(rates.begin(), rates.end());
        const size_t n = rates.size();
        const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
        return median / 1e6;
    }

private:
    std::map<std::string, std::vector<double>> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    sourceBuffer();
    std::fill(targetBuffer().begin(), targetBuffer().end(), 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const char* cap = std::getenv("OPENSSL_ia32cap");
    std::printf("\nOPENSSL_ia32cap=%s, buffer %zu MiB, MB/s = 10^6 bytes/s (median of the runs)\n",
                cap ? cap : "(unset)", kBufferSize >> 20);
    std::printf("%-10s %5s %14s %14s %8s\n", "operation", "bits", "Tessiva MB/s", "OpenSSL MB/s", "ratio");
    for (const char* operation : {"Encrypt", "Decrypt"}) {
        for (int bits : {128, 192, 256}) {
            const std::string suffix = std::string(operation) + "/" + std::to_string(bits);
            const double ours = reporter.medianMBps("BM_Tessiva" + suffix);
            const double theirs = reporter.medianMBps("BM_OpenSsl" + suffix);
            std::printf("%-10s %5d %14.1f %14.1f %8.2f\n", operation, bits, ours, theirs,
                        theirs > 0 ? ours / theirs : 0.0);
        }
    }
    return 0;
}
