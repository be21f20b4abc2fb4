#pragma once
// One download task of the service: one URL fetched into one target path, with
// its own settings, its own io_service and its own multi-connection download.
// A run happens on a thread of its own (StartDownloadTask); state and progress
// may be read from any thread while it runs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/io_service.hpp>

#include "dlhttp/DownloadService.h"
#include "dlhttp/DownloadSettings.h"
#include "dlhttp/multi_download.h"

class DownloadObj {
public:
    DownloadObj(uint32_t id, const std::wstring& url, const std::wstring& url_key, const std::wstring& target,
                const DownloadSettings& settings);
    DownloadObj(const DownloadObj&) = delete;
    DownloadObj& operator=(const DownloadObj&) = delete;

    uint32_t id() const { return id_; }
    const std::wstring& url() const { return url_; }
    const std::wstring& url_key() const { return url_key_; }
    const std::wstring& target_path() const { return target_; }
    const DownloadSettings& settings() const { return settings_; }

    // Claims the task for a run: false when it is already running. A claimed
    // task is in state 5 at once, so a caller that polls right after the
    // start never sees the end state of the previous run.
    bool claim();
    // Gives a claim back when no thread could be started for the run: the
    // task ends failed and may be started again.
    void release_claim() { publish(DownloadTaskFailed, true); }
    bool running() const;
    int32_t state() const;

    // The body of the task thread; the caller has claimed the task.
    void run();

    // Fills everything but the reserved field (any thread).
    void query(DownloadTaskStatus& status) const;

    // Asks a running task to stop (any thread): its run ends incomplete and
    // keeps its files for a later resume.
    void request_stop();
    // Waits until the task does not run, at most until `deadline`.
    bool wait_idle(std::chrono::steady_clock::time_point deadline) const;

private:
    int32_t finish();
    void drain();
    // Sets the state; with `end` also clears `running`, in one step, so that a
    // caller who sees an end state can start the task again at once.
    void publish(int32_t state, bool end = false);

    // The io_service comes first: the engine is built over it.
    boost::asio::io_service io_;
    std::shared_ptr<dlhttp::multi_download> engine_;
    uint32_t id_;
    std::mutex lock_;
    // Guards `running_` and `state_` (held only for a read or a write).
    mutable std::mutex state_lock_;
    mutable std::condition_variable idle_;
    bool running_ = false;
    std::wstring url_;
    std::wstring url_key_;
    std::wstring target_;
    DownloadSettings settings_;
    int32_t state_ = DownloadTaskCreated;
};
