#pragma once
// Helpers of the download service tests: random file contents, digests, and one
// download run through the service, polled until it ends.
#include <cstdint>
#include <string>

#include "dlhttp/DownloadService.h"

namespace servicetest {

// `size` bytes from a fixed pseudo-random sequence (the seed picks it).
std::string randomBytes(int64_t size, uint32_t seed = 1);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
std::string sha1Hex(const std::string& bytes);

struct RunResult {
    uint32_t id = 0;
    bool started = false;
    int32_t state = 0;         // the end state (0: no end state within the bound)
    double seconds = 0;        // until the end state was seen
    int32_t maxRate = 0;       // the largest rate seen while polling
    bool sawBadState = false;  // a state outside 1..5
};

// Adds (16 connections) and starts a task for url -> target (both UTF-8) and
// polls it every 20 ms until it reaches state 1, 2 or 4, at most
// `boundSeconds`.
RunResult runDownload(const std::string& url, const std::string& target, double boundSeconds, int32_t connections = 16);

}  // namespace servicetest
