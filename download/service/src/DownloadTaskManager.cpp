#include "dlhttp/DownloadTaskManager.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <boost/thread/thread.hpp>
#include <openssl/ssl.h>
#include <zlib.h>

#include "dlhttp/native_file.h"

namespace {

std::atomic<DownloadTaskManager*> g_manager{nullptr};
std::mutex g_manager_lock;

}  // namespace

DownloadTaskManager* DownloadTaskManager::instance(bool create) {
    DownloadTaskManager* manager = g_manager.load();
    if (manager || !create) return manager;
    std::lock_guard<std::mutex> lock(g_manager_lock);
    manager = g_manager.load();
    if (!manager) {
        // Never freed: detached task threads may use it until the process ends.
        manager = new DownloadTaskManager();
        g_manager = manager;
        // OpenSSL registers its clean-up at exit when it is first set up; set
        // it up now, so that its clean-up runs after ours (exit handlers run
        // in reverse order) and no task is in the middle of TLS by then.
        OPENSSL_init_ssl(0, nullptr);
        std::atexit(&DownloadTaskManager::stop_all_at_exit);
    }
    return manager;
}

void DownloadTaskManager::stop_all_at_exit() {
    DownloadTaskManager* manager = instance(false);
    if (!manager) return;
    std::vector<std::shared_ptr<DownloadObj>> running;
    {
        std::lock_guard<std::mutex> lock(manager->task_lock_);
        for (const auto& entry : manager->tasks_) {
            if (entry.second->running()) running.push_back(entry.second);
        }
    }
    for (const auto& task : running) task->request_stop();
    // A task still in its probe (a blocking open) ends within its open
    // time-out; the exit waits a few seconds at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (const auto& task : running) task->wait_idle(deadline);
    manager->join_ended_threads();
}

void DownloadTaskManager::join_ended_threads() {
    std::lock_guard<std::mutex> lock(thread_lock_);
    for (auto& entry : threads_) {
        std::shared_ptr<DownloadObj> task = find(entry.first);
        if (!entry.second.joinable()) continue;
        // A run that is past its end only has its thread-exit clean-up left;
        // a run still going after the wait is left to the process's end.
        if (task && !task->running()) {
            entry.second.join();
        } else {
            entry.second.detach();
        }
    }
}

std::string DownloadTaskManager::url_key(const std::wstring& url) {
    // The low byte of each UTF-16 unit (characters beyond the BMP are two units).
    std::vector<unsigned char> bytes;
    bytes.reserve(url.size());
    for (wchar_t ch : url) {
        uint32_t code = static_cast<uint32_t>(ch);
        if (code > 0xFFFF && code <= 0x10FFFF) {
            code -= 0x10000;
            bytes.push_back(static_cast<unsigned char>((0xD800 + (code >> 10)) & 0xFF));
            bytes.push_back(static_cast<unsigned char>((0xDC00 + (code & 0x3FF)) & 0xFF));
        } else {
            bytes.push_back(static_cast<unsigned char>(code & 0xFF));
        }
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    if (!bytes.empty()) crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
    char text[16];
    std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(crc & 0xFFFFFFFFul));
    return text;
}

uint32_t DownloadTaskManager::add(const DownloadTaskRequest& request, int32_t connections) {
    const std::string key = url_key(request.url);
    uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(url_lock_);
        auto found = urls_.find(key);
        if (found != urls_.end() && found->second != 0) return found->second;
        id = ++last_id_;
        if (id == 0) id = ++last_id_;
        urls_[key] = id;
    }
    DownloadSettings settings;
    settings.rate_limit = default_rate_limit;
    settings.connections_limit = connections;
    settings.request_piece_num = 8;
    settings.meta_file = request.target_path + L".cfg";
    settings.save_path = request.target_path + L".tmp";
    settings.allow_use_meta_url = false;
    // An updater runs what it downloads: certificates are always verified.
    settings.check_certificate = true;
    settings.proxy = proxy;
    if (settings_hook) settings_hook(settings);
    auto task =
        std::make_shared<DownloadObj>(id, request.url, dlhttp::detail::widen(key), request.target_path, settings);
    std::lock_guard<std::mutex> lock(task_lock_);
    tasks_[id] = task;
    return id;
}

std::shared_ptr<DownloadObj> DownloadTaskManager::find(uint32_t id) {
    std::lock_guard<std::mutex> lock(task_lock_);
    auto found = tasks_.find(id);
    return found == tasks_.end() ? nullptr : found->second;
}

bool DownloadTaskManager::start(uint32_t id) {
    if (id == 0) return false;
    std::shared_ptr<DownloadObj> task = find(id);
    // claim() sets `running` atomically: of two quick starts only one runs.
    if (!task || !task->claim()) return false;
    try {
        boost::thread thread([task] { task->run(); });
        std::lock_guard<std::mutex> lock(thread_lock_);
        boost::thread& slot = threads_[id];
        // The claim succeeded, so the task's previous run has ended: its
        // thread finishes at once.
        if (slot.joinable()) slot.join();
        slot = std::move(thread);
    } catch (...) {
        // No thread runs the task: give the claim back (the start failed), so
        // that a later start can try again.
        task->release_claim();
        return false;
    }
    return true;
}

bool DownloadTaskManager::query(uint32_t id, DownloadTaskStatus& status) {
    if (id == 0) return false;
    std::shared_ptr<DownloadObj> task = find(id);
    if (!task) return false;
    task->query(status);
    return true;
}

uint32_t AddDownloadTask(const DownloadTaskRequest& request, int32_t connections) {
    return DownloadTaskManager::instance()->add(request, connections);
}

bool StartDownloadTask(uint32_t id) {
    if (id == 0) return false;
    return DownloadTaskManager::instance()->start(id);
}

bool QueryDownloadTask(uint32_t id, DownloadTaskStatus& status) {
    DownloadTaskManager* manager = DownloadTaskManager::instance(false);
    return manager && manager->query(id, status);
}
