#pragma once
// The process-wide table of download tasks behind AddDownloadTask,
// StartDownloadTask and QueryDownloadTask. Created on first use and never
// freed, so task threads never outlive it. Entries are never removed.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <boost/thread/thread.hpp>

#include "dlhttp/DownloadObj.h"
#include "dlhttp/DownloadService.h"
#include "dlhttp/DownloadSettings.h"

class DownloadTaskManager {
public:
    // The manager; with create false, null when there is none yet.
    static DownloadTaskManager* instance(bool create = true);

    uint32_t add(const DownloadTaskRequest& request, int32_t connections);
    bool start(uint32_t id);
    bool query(uint32_t id, DownloadTaskStatus& status);

    // Copied into the settings of every new task.
    dlhttp::ProxySettings proxy;
    int32_t default_rate_limit = -1;
    // Called with the settings of every new task after the service has filled
    // them; lets a test trust its own CA, shorten time-outs or give a storage.
    // Set it before adding tasks.
    std::function<void(DownloadSettings&)> settings_hook;

    // The URL key: CRC-32 of the low byte of each UTF-16 unit of the URL, in
    // lower-case hex without leading zeros.
    static std::string url_key(const std::wstring& url);

    // At process exit (registered with the manager's creation): stops every
    // running task, waits a moment for their runs to end and joins their
    // threads, so that no task thread works on (not even in its thread-exit
    // clean-up) while the process tears its libraries down.
    static void stop_all_at_exit();

private:
    DownloadTaskManager() = default;
    std::shared_ptr<DownloadObj> find(uint32_t id);
    // Joins the thread of every task whose run has ended; detaches the rest.
    void join_ended_threads();

    std::mutex task_lock_;
    std::map<uint32_t, std::shared_ptr<DownloadObj>> tasks_;
    std::mutex url_lock_;
    std::map<std::string, uint32_t> urls_;
    uint32_t last_id_ = 0;  // under url_lock_
    // The thread of each task's latest run, kept to be joined: a thread whose
    // run has ended may still be in its thread-exit clean-up, which uses
    // OpenSSL's locks.
    std::mutex thread_lock_;
    std::map<uint32_t, boost::thread> threads_;
};
