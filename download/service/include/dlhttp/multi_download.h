#pragma once
// One file fetched over HTTP or HTTPS into a storage object: over several ranged
// connections at once when the server accepts byte ranges, over one otherwise.
//
// start() probes the server with a blocking "bytes=0-" request, opens the
// storage, reads the resume meta file (kept only when it fits this file and
// its data) and queues the connections and the one-second timer on the
// owner's io_service; the download is over when that
// io_service runs out of work. Every handler runs on the one thread that runs
// the io_service. The progress getters (file_size, bytes_done, rate,
// file_name) may be called from any thread.
#include <atomic>
#include <climits>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/system/error_code.hpp>

#include "dlhttp/DownloadSettings.h"
#include "dlhttp/http_stream.h"
#include "dlhttp/native_file.h"
#include "dlhttp/range_map.h"
#include "dlhttp/resume_record.h"
#include "dlhttp/storage.h"
#include "dlhttp/url.h"

namespace dlhttp {

class multi_download : public std::enable_shared_from_this<multi_download> {
public:
    // Bytes received since the last tick and the smoothed rate (bytes/s).
    struct download_stat {
        std::atomic<int32_t> bytes{0};
        std::atomic<int32_t> rate{0};
    };

    // One connection.
    struct http_stream_object {
        // Null while the connection waits to be restarted.
        std::shared_ptr<http_stream> stream;
        char buffer[2048];
        int64_t range_begin = 0;  // both ends included
        int64_t range_end = -1;
        int64_t range_bytes = 0;  // bytes of the range written so far
        int64_t total_bytes = 0;
        boost::posix_time::ptime last_active;
        boost::system::error_code last_error;
        bool done = false;
        // The timer replaces this connection's stream at tick `retry_tick`.
        bool restart = false;
        int64_t retry_tick = 0;
        // Ended only because no range was left: woken when a range goes back
        // to the pool.
        bool idle = false;
        // Attempts in a row that ended without data (bounded by the settings).
        int failures = 0;
        // Data arrived since the last (re)start.
        bool progressed = false;
        // The answer being read is the probe's open-ended one.
        bool open_ended = false;
        // The request under way went on a kept-alive connection (a further
        // request after an answer), not on a newly opened one.
        bool reused = false;
        // Waits out the rest of a tick when the rate limit's quota is used up;
        // a waiting connection is not stalled.
        std::unique_ptr<boost::asio::deadline_timer> rate_wait;
        bool waiting_quota = false;
    };
    typedef std::shared_ptr<http_stream_object> connection_ptr;

    explicit multi_download(boost::asio::io_service& io);
    ~multi_download();
    multi_download(const multi_download&) = delete;
    multi_download& operator=(const multi_download&) = delete;

    // Probes the server and queues everything on the io_service. Throws
    // boost::system::system_error when the probe, the meta file or the storage
    // fails.
    void start(const std::wstring& u, const DownloadSettings& s);
    // Stops everything: the pending handlers end and the io_service runs out of
    // work. Called on the thread that runs the io_service (or while it does not
    // run).
    void stop();

    // The data file's path (any thread).
    std::wstring file_name() const;
    // Total size, -1 while unknown (any thread).
    int64_t file_size() const { return published_size_.load(); }
    // Bytes written when the size is known, else bytes received (any thread).
    int64_t bytes_done() const;
    // The smoothed rate in bytes per second (any thread).
    int32_t rate() const { return stat->rate.load(); }

    // After the run: every byte of a known size is written.
    bool complete() const { return file_size_ >= 0 && written.complete(); }
    // After the run: the error that ended it for good (a storage write that
    // failed, for example); success when none did.
    boost::system::error_code failure() const { return failure_; }

private:
    // The steps of start().
    connection_ptr open_probe();
    int64_t take_probe_answer(const http_stream& probe);
    bool open_storage_and_record();
    void prepare_run();
    void queue_connections(const connection_ptr& probe, int64_t probe_last);

    // Every stream gets its settings here: proxy, options, certificate check,
    // CA file, open time limit and redirects (only the probe follows them).
    void set_up_stream(http_stream& stream, const option_list& request, bool ranged) const;
    // Wraps a completion so that it runs only while the run that started it
    // goes on and the stream it belongs to is still the connection's.
    template <typename Handler>
    auto guarded(const connection_ptr& c, Handler handler);

    bool allocate_range(const connection_ptr& c, int64_t most_end = INT64_MAX);
    void open_connection(const connection_ptr& c);
    void handle_open(const connection_ptr& c, const boost::system::error_code& ec);
    bool check_ranged_reply(const connection_ptr& c, boost::system::error_code& ec) const;
    void read_step(const connection_ptr& c);
    void handle_rate_wait(const connection_ptr& c, const boost::system::error_code& ec);
    void handle_read(const connection_ptr& c, const boost::system::error_code& ec, std::size_t n);
    bool store(const connection_ptr& c, std::size_t n);
    void read_ended(const connection_ptr& c, const boost::system::error_code& ec);
    // One connection: a chunked body that ended with its last chunk gives
    // the size that no length announced.
    void take_size_of_chunked_body(const connection_ptr& c);
    void next_range(const connection_ptr& c);
    void request_next(const connection_ptr& c);
    void replace_now(const connection_ptr& c);
    void go_idle(const connection_ptr& c);

    void arm_timer();
    void on_tick(const boost::system::error_code& ec);
    void check_connections();
    // A failed connection: the run ends (one connection), the connection
    // ends (a refused file, too many attempts) or it is restarted later.
    void connection_failed(const connection_ptr& c, const boost::system::error_code& ec);
    void end_single_run(const connection_ptr& c);
    // Ticks to wait before the next attempt after `failures` in a row.
    int retry_pause(int failures) const;
    // The restart step: the timer replaces the stream `ticks` ticks from now.
    void schedule_restart(const connection_ptr& c, int ticks);
    void give_up(const connection_ptr& c);
    void wake(const connection_ptr& c);
    void restart_connection(const connection_ptr& c);
    void close_stream(const connection_ptr& c);
    void end_run();
    void fail(const boost::system::error_code& ec);

    void write_meta();
    void read_meta(int64_t data_length);
    bool record_fits(const resume_record& record, int64_t data_length) const;
    void close_meta();
    void free_storage();
    void set_size(int64_t size);
    void mark_written(int64_t begin, int64_t end);
    option_list range_options(const connection_ptr& c) const;
    void stamp(const connection_ptr& c);

    boost::asio::io_service& io;
    std::list<connection_ptr> connections;
    url final_url;
    bool accept_multi = false;
    bool keep_alive = false;
    int64_t file_size_ = -1;
    std::wstring file_name_;
    DownloadSettings settings;
    boost::asio::deadline_timer timer;
    std::shared_ptr<download_stat> stat;
    std::unique_ptr<storage_interface> storage;
    detail::native_file meta_file;
    range_map requested;
    range_map written;
    int32_t quota = -1;
    bool abort = true;
    // Ticks of the timer in this run.
    int64_t ticks_ = 0;

    // Options of every request after the probe (without "Range").
    option_list options;
    // Raised by every start: handlers of an earlier run do nothing.
    unsigned generation_ = 0;
    boost::system::error_code failure_;
    // Progress as other threads see it.
    std::atomic<int64_t> published_size_{-1};
    std::atomic<int64_t> published_written_{0};
    std::atomic<int64_t> received_{0};
    mutable std::mutex name_lock_;
};

// Piece size for a file of `size` bytes: the smallest of 16384, 32768, ... that
// is at least size / 2048, at most 16 MiB.
int32_t derive_piece_size(int64_t size);

}  // namespace dlhttp
