#include "dlhttp/DownloadObj.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include <boost/asio/post.hpp>

#include "dlhttp/native_file.h"

DownloadObj::DownloadObj(uint32_t id, const std::wstring& url, const std::wstring& url_key, const std::wstring& target,
                         const DownloadSettings& settings)
    : engine_(std::make_shared<dlhttp::multi_download>(io_)),
      id_(id),
      url_(url),
      url_key_(url_key),
      target_(target),
      settings_(settings) {}

bool DownloadObj::claim() {
    std::lock_guard<std::mutex> lock(state_lock_);
    if (running_) return false;
    running_ = true;
    state_ = DownloadTaskCreated;
    return true;
}

bool DownloadObj::running() const {
    std::lock_guard<std::mutex> lock(state_lock_);
    return running_;
}

int32_t DownloadObj::state() const {
    std::lock_guard<std::mutex> lock(state_lock_);
    return state_;
}

void DownloadObj::publish(int32_t state, bool end) {
    std::lock_guard<std::mutex> lock(state_lock_);
    state_ = state;
    if (end) {
        running_ = false;
        idle_.notify_all();
    }
}

void DownloadObj::request_stop() {
    // The engine is stopped on the task's own thread, where all its handlers run.
    std::shared_ptr<dlhttp::multi_download> engine = engine_;
    boost::asio::post(io_, [engine] { engine->stop(); });
}

bool DownloadObj::wait_idle(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock<std::mutex> lock(state_lock_);
    return idle_.wait_until(lock, deadline, [this] { return !running_; });
}

void DownloadObj::run() {
    std::lock_guard<std::mutex> lock(lock_);
    io_.restart();
    // The whole run, the finish step included, is inside the failure
    // handling: nothing it throws may end the process.
    int32_t end = DownloadTaskFailed;
    try {
        publish(DownloadTaskCreated);
        engine_->start(url_, settings_);
        publish(DownloadTaskDownloading);
        io_.run();
        if (engine_->failure()) throw boost::system::system_error(engine_->failure());
        end = finish();
    } catch (...) {
        drain();
        end = DownloadTaskFailed;
    }
    publish(end, true);
}

void DownloadObj::drain() {
    // Stop the engine and let every pending handler of this run end now, so
    // that none of them runs inside the next run.
    engine_->stop();
    for (;;) {
        io_.restart();
        try {
            io_.run();
            break;
        } catch (...) {
        }
    }
    io_.restart();
}

int32_t DownloadObj::finish() {
    if (!engine_->complete()) return DownloadTaskIncomplete;
    // Every byte is written. The data file may be longer (left so by an
    // earlier version of the file) and is cut to the size; a shorter one
    // lacks bytes and is never extended. Then it becomes the target.
    const std::string data = dlhttp::detail::narrow(settings_.save_path);
    const std::string meta = dlhttp::detail::narrow(settings_.meta_file);
    const std::string target = dlhttp::detail::narrow(target_);
    const off_t size = static_cast<off_t>(engine_->file_size());
    struct stat info;
    if (::stat(data.c_str(), &info) != 0 || info.st_size < size) return DownloadTaskFailed;
    if (info.st_size > size && ::truncate(data.c_str(), size) != 0) return DownloadTaskFailed;
    if (::rename(data.c_str(), target.c_str()) != 0) return DownloadTaskFailed;
    // The target is complete and exact. A record left behind has no data
    // file any more, so the next start drops it and starts afresh.
    if (::unlink(meta.c_str()) != 0 && errno != ENOENT)
        std::fprintf(stderr, "download task %u: cannot remove %s: %s\n", id_, meta.c_str(), std::strerror(errno));
    return DownloadTaskFinished;
}

void DownloadObj::query(DownloadTaskStatus& status) const {
    status.state = state();
    status.file_name = engine_->file_name();
    status.file_size = engine_->file_size();
    status.bytes_done = engine_->bytes_done();
    // A size that is unknown (-1) or 0 gives no ratio: report 0, or 1 once
    // the task has finished, never a negative, infinite or NaN value that a
    // caller would turn into a percentage.
    if (status.file_size > 0)
        status.fraction_done =
            static_cast<float>(static_cast<double>(status.bytes_done) / static_cast<double>(status.file_size));
    else
        status.fraction_done = status.state == DownloadTaskFinished ? 1.0f : 0.0f;
    status.rate = engine_->rate();
}
