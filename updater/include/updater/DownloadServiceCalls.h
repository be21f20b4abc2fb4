#pragma once
// The three calls of the download service the poller makes, gathered so that
// tests can put a scripted service in place of the real one.
#include <cstdint>

#include "dlhttp/DownloadService.h"

struct DownloadServiceCalls {
    uint32_t (*add)(const DownloadTaskRequest& request, int32_t connections) = nullptr;
    bool (*start)(uint32_t id) = nullptr;
    bool (*query)(uint32_t id, DownloadTaskStatus& status) = nullptr;

    // The calls in force: the real service's unless a test replaced them. A
    // member left null counts as a call that fails (0, false, false).
    static DownloadServiceCalls current();
    // For tests: replaces the calls; a default-constructed record restores the
    // real service.
    static void setForTesting(const DownloadServiceCalls& calls);
};
