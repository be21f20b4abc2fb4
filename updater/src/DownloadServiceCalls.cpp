#include "updater/DownloadServiceCalls.h"

#include <mutex>

namespace {

std::mutex g_mutex;
DownloadServiceCalls g_override;
bool g_overridden = false;

DownloadServiceCalls realService() {
    DownloadServiceCalls calls;
    calls.add = &AddDownloadTask;
    calls.start = &StartDownloadTask;
    calls.query = &QueryDownloadTask;
    return calls;
}

}  // namespace

DownloadServiceCalls DownloadServiceCalls::current() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_overridden ? g_override : realService();
}

void DownloadServiceCalls::setForTesting(const DownloadServiceCalls& calls) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_overridden = calls.add || calls.start || calls.query;
    g_override = calls;
}
