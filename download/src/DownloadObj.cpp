#include "dlhttp/DownloadObj.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include <boost/asio/post.hpp>

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
    try {
        publish(DownloadTaskCreated);
        engine_->start(url_, settings_);
        publish(DownloadTaskDownloading);
        io_.run();
        if (engine_->failure()) throw boost::system::system_error(engine_->failure());
    } catch (...) {
        drain();
        publish(DownloadTaskFailed, true);
        return;
    }
    publish(finish(), true);
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
    // Every byte is written: cut a data file left longer by an earlier version
    // of the file, move it to the target and drop the resume record. A step
    // that fails leaves the download failed, never finished.
    namespace fs = std::filesystem;
    const fs::path data = settings_.save_path;
    const fs::path meta = settings_.meta_file;
    std::error_code ec;
    if (fs::file_size(data, ec) != static_cast<uintmax_t>(engine_->file_size()) && !ec)
        fs::resize_file(data, static_cast<uintmax_t>(engine_->file_size()), ec);
    if (!ec) fs::rename(data, fs::path(target_), ec);
    if (!ec) fs::remove(meta, ec);
    return ec ? DownloadTaskFailed : DownloadTaskFinished;
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
