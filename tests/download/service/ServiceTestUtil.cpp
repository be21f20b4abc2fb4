#include "ServiceTestUtil.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <openssl/sha.h>

#include "dlhttp/native_file.h"

namespace servicetest {

std::string randomBytes(int64_t size, uint32_t seed) {
    std::string out(static_cast<size_t>(size), '\0');
    uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
    for (size_t i = 0; i < out.size(); ++i) {
        // xorshift64*
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        out[i] = static_cast<char>((x * 0x2545F4914F6CDD1Dull) >> 56);
    }
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::string sha1Hex(const std::string& bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : digest) {
        out.push_back(hex[byte >> 4]);
        out.push_back(hex[byte & 15]);
    }
    return out;
}

RunResult runDownload(const std::string& url, const std::string& target, double boundSeconds, int32_t connections) {
    RunResult result;
    DownloadTaskRequest request;
    request.url = dlhttp::detail::widen(url);
    request.target_path = dlhttp::detail::widen(target);
    result.id = AddDownloadTask(request, connections);
    result.started = StartDownloadTask(result.id);
    if (!result.started) return result;
    const auto begin = std::chrono::steady_clock::now();
    for (;;) {
        DownloadTaskStatus status;
        QueryDownloadTask(result.id, status);
        if (status.state < 1 || status.state > 5) result.sawBadState = true;
        if (status.rate > result.maxRate) result.maxRate = status.rate;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (status.state == DownloadTaskFailed || status.state == DownloadTaskIncomplete ||
            status.state == DownloadTaskFinished) {
            result.state = status.state;
            result.seconds = elapsed;
            return result;
        }
        if (elapsed > boundSeconds) {
            result.seconds = elapsed;
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace servicetest
