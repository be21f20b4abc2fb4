#include "dlhttp/multi_download.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"
#include "dlhttp/option_names.h"
#include "dlhttp/response_head.h"
#include "dlhttp/resume_record.h"
#include "dlhttp/text.h"

namespace dlhttp {

namespace {

// The error value that ends the whole download from a read handler.
const int fatal_read_error = 53;

using detail::decimal;
using detail::parse_content_length;
using detail::to_lower;

// "bytes first-last/total"
bool parse_content_range(const std::string& text, int64_t& first, int64_t& last, int64_t& total) {
    const std::string prefix = "bytes ";
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    const size_t dash = text.find('-', prefix.size());
    const size_t slash = text.find('/', prefix.size());
    if (dash == std::string::npos || slash == std::string::npos || dash > slash) return false;
    return parse_content_length(text.substr(prefix.size(), dash - prefix.size()), first) &&
           parse_content_length(text.substr(dash + 1, slash - dash - 1), last) &&
           parse_content_length(text.substr(slash + 1), total);
}

// An answer whose body is content-coded is never taken as the file's bytes.
bool content_coded(const option_list& response) {
    const std::string coding = to_lower(response.find(option_names::content_encoding));
    return !coding.empty() && coding != "identity";
}

boost::system::error_code protocol_error() {
    return boost::system::errc::make_error_code(boost::system::errc::protocol_error);
}

boost::posix_time::ptime now() { return boost::posix_time::microsec_clock::universal_time(); }

// Bytes in the file at `path`, -1 when it cannot be taken (a missing file).
int64_t file_length(const std::wstring& path) {
    struct stat info;
    if (::stat(detail::narrow(path).c_str(), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

// The same resource: scheme, host, port and path agree (the query of a
// signed link may change between runs).
bool same_resource(const url& a, const url& b) {
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port() && a.path() == b.path();
}

// "416" with "Content-Range: bytes */0": no range of the file can be
// satisfied because it has no bytes at all (RFC 9110 section 15.5.17).
bool empty_file_answer(const option_list& response) {
    const std::string prefix = "bytes */";
    const std::string range = response.find(option_names::content_range);
    int64_t total = -1;
    return response.find(option_names::status_code) == "416" && range.compare(0, prefix.size(), prefix) == 0 &&
           parse_content_length(range.substr(prefix.size()), total) && total == 0;
}

// The server had closed a kept-alive connection before a further request
// reached it (its idle time ran out): no answer came at all.
bool closed_before_answer(const boost::system::error_code& ec) {
    return ec == boost::asio::error::eof || ec == boost::asio::error::connection_reset ||
           ec == boost::asio::error::broken_pipe || ec == boost::asio::error::connection_aborted;
}

bool given_up_status(const boost::system::error_code& ec) {
    return ec == http_error::forbidden || ec == http_error::not_found || ec == http_error::method_not_allowed;
}

boost::system::error_code throw_if(const boost::system::error_code& ec) {
    if (ec) throw boost::system::system_error(ec);
    return ec;
}

}  // namespace

int32_t derive_piece_size(int64_t size) {
    int64_t piece = 16384;
    while (piece < 16777216 && size / 2048 > piece) piece *= 2;
    return static_cast<int32_t>(piece);
}

multi_download::multi_download(boost::asio::io_service& io_service)
    : io(io_service),
      timer(io_service),
      stat(std::make_shared<download_stat>()) {}

multi_download::~multi_download() = default;

std::wstring multi_download::file_name() const {
    std::lock_guard<std::mutex> lock(name_lock_);
    return file_name_;
}

int64_t multi_download::bytes_done() const {
    return published_size_.load() >= 0 ? published_written_.load() : received_.load();
}

void multi_download::set_size(int64_t size) {
    file_size_ = size;
    requested.reset(size);
    written.reset(size);
    published_written_ = 0;
    published_size_ = size;
}

void multi_download::mark_written(int64_t begin, int64_t end) {
    written.add(begin, end);
    published_written_ = written.count();
    if (accept_multi && written.complete() && !abort) {
        // Every byte is written: end now instead of at the next tick. The
        // timer's handler still writes the record once more, closes it and
        // frees the storage.
        stop();
    }
}

void multi_download::stamp(const connection_ptr& c) { c->last_active = now(); }

template <typename Handler>
auto multi_download::guarded(const connection_ptr& c, Handler handler) {
    auto self = shared_from_this();
    // The completion holds the stream: a stream replaced by a restart lives
    // until its pending operation has ended, and its late completion is ignored.
    std::shared_ptr<http_stream> stream = c->stream;
    const unsigned generation = generation_;
    return [self, c, stream, generation, handler](const auto&... args) {
        if (generation == self->generation_ && stream == c->stream) handler(args...);
    };
}

void multi_download::set_up_stream(http_stream& stream, const option_list& request, bool ranged) const {
    stream.request_options(request);
    stream.proxy(settings.proxy);
    stream.check_certificate(settings.check_certificate);
    if (!settings.ca_file.empty()) stream.ca_file(settings.ca_file);
    stream.handshake_timeout(std::chrono::seconds(std::max(1, settings.open_time_out)));
    // The probe settles the final URL; a ranged answer must come from it, so
    // a redirect there is a failed attempt, never data.
    stream.max_redirects(ranged ? 0 : 5);
}

void multi_download::start(const std::wstring& u, const DownloadSettings& s) {
    ++generation_;
    connections.clear();
    set_size(-1);
    received_ = 0;
    failure_ = boost::system::error_code();
    settings = s;
    {
        std::lock_guard<std::mutex> lock(name_lock_);
        if (file_name_.empty()) file_name_ = settings.save_path;
    }
    boost::system::error_code ec;
    final_url = url::from_string(escape_url_text(detail::narrow(u)), ec);
    throw_if(ec);

    connection_ptr probe = open_probe();
    const int64_t probe_last = take_probe_answer(*probe->stream);
    if (!open_storage_and_record() || file_size_ == 0) {
        // Already complete, or an empty file: nothing to fetch, and nothing
        // stays open.
        close_stream(probe);
        free_storage();
        return;
    }
    prepare_run();
    queue_connections(probe, probe_last);
    arm_timer();
}

multi_download::connection_ptr multi_download::open_probe() {
    // An open-ended range on a kept-alive connection.
    option_list probe_options = settings.opts;
    probe_options.remove(option_names::range);
    probe_options.insert(option_names::range, "bytes=0-");
    probe_options.remove(option_names::connection);
    probe_options.insert(option_names::connection, "keep-alive");
    connection_ptr probe = std::make_shared<http_stream_object>();
    probe->stream = std::make_shared<http_stream>(io);
    set_up_stream(*probe->stream, probe_options, false);
    connections.push_back(probe);
    boost::system::error_code ec;
    probe->stream->open(final_url, ec);
    // The open-ended range of an empty file cannot be satisfied: that answer
    // tells the size (0), it is no failure.
    if (ec == http_error::requested_range_not_satisfiable && empty_file_answer(probe->stream->response_options()))
        ec = boost::system::error_code();
    throw_if(ec);
    return probe;
}

int64_t multi_download::take_probe_answer(const http_stream& probe) {
    // Only a followed redirect moves the file: the ranged connections ask the
    // URL that gave the final answer, whatever "Location" that answer names.
    final_url = probe.final_url();
    const option_list response = probe.response_options();
    if (content_coded(response)) throw_if(protocol_error());
    accept_multi = response.find(option_names::status_code) == "206";
    keep_alive = probe.keep_alive();
    if (empty_file_answer(response)) {
        // Its body, if any, is no part of the file.
        accept_multi = false;
        if (file_size_ != 0) set_size(0);
        return -1;
    }

    const std::string length_text = response.find(option_names::content_length);
    const std::string range_text = response.find(option_names::content_range);
    int64_t size = -1;
    int64_t last = -1;
    if (accept_multi && !range_text.empty()) {
        // The answer covers [0, last] of a file of `total` bytes; a server may
        // send less than the whole open-ended range: the size is the total.
        int64_t first = 0, length = 0;
        if (!parse_content_range(range_text, first, last, size) || first != 0 || last >= size)
            throw_if(protocol_error());
        if (!length_text.empty() && (!parse_content_length(length_text, length) || length != last + 1))
            throw_if(protocol_error());
    } else if (accept_multi && !length_text.empty()) {
        // A ranged answer that does not say which range it is.
        throw_if(protocol_error());
    } else if (length_text.empty() || !parse_content_length(length_text, size)) {
        accept_multi = false;
        size = -1;
    }
    if (settings.disable_multi_download) accept_multi = false;
    if (size >= 0 && size != file_size_) set_size(size);
    return last;
}

bool multi_download::open_storage_and_record() {
    // The storage first: its lock on the data file keeps a second run of the
    // same target out before that run could read (and, when it is locked,
    // remove) the resume record of the first.
    storage_interface* made = settings.storage ? settings.storage() : make_default_storage();
    if (!made) throw_if(boost::system::errc::make_error_code(boost::system::errc::not_enough_memory));
    storage.reset(made);
    boost::system::error_code ec;
    storage->open(file_name(), ec);
    if (ec) {
        storage.reset();
        throw_if(ec);
    }
    if (!accept_multi) return true;
    if (settings.meta_file.empty()) settings.meta_file = file_name() + L".cfg";
    // Taken with the lock held: what the record marks must be in this file.
    read_meta(file_length(file_name()));
    if (!written.complete()) return true;
    close_meta();
    free_storage();
    return false;
}

void multi_download::prepare_run() {
    if (settings.connections_limit == -1) settings.connections_limit = 5;
    if (settings.piece_size == -1 && file_size_ >= 0) settings.piece_size = derive_piece_size(file_size_);
    if (settings.piece_size <= 0) settings.piece_size = 16384;
    if (settings.request_piece_num <= 0) settings.request_piece_num = 1;
    options = settings.opts;
    options.remove(option_names::connection);
    options.insert(option_names::connection, keep_alive ? "keep-alive" : "close");
    abort = false;
    quota = settings.rate_limit;
    ticks_ = 0;
}

void multi_download::queue_connections(const connection_ptr& probe, int64_t probe_last) {
    if (!accept_multi) {
        stamp(probe);
        read_step(probe);
        return;
    }
    // The probe's answer is read for a range from byte 0 (no further than the
    // answer goes); any other range needs a request of its own.
    if (!allocate_range(probe, probe_last + 1)) {
        go_idle(probe);
    } else if (probe->range_begin == 0) {
        probe->open_ended = true;
        stamp(probe);
        read_step(probe);
    } else {
        close_stream(probe);
        open_connection(probe);
    }
    for (int i = 1; i < settings.connections_limit; ++i) {
        connection_ptr c = std::make_shared<http_stream_object>();
        connections.push_back(c);
        c->stream = std::make_shared<http_stream>(io);
        if (!allocate_range(c)) {
            go_idle(c);
            continue;
        }
        open_connection(c);
    }
}

bool multi_download::allocate_range(const connection_ptr& c, int64_t most_end) {
    int64_t begin = 0, end = 0;
    if (!requested.first_free(0, begin, end)) return false;
    const int64_t most = static_cast<int64_t>(settings.piece_size) * settings.request_piece_num;
    end = std::min({end, begin + most, std::max(most_end, begin + 1)});
    requested.add(begin, end);
    c->range_begin = begin;
    c->range_end = end - 1;
    c->range_bytes = 0;
    return true;
}

option_list multi_download::range_options(const connection_ptr& c) const {
    option_list o = options;
    o.remove(option_names::range);
    o.insert(option_names::range, "bytes=" + decimal(c->range_begin) + "-" + decimal(c->range_end));
    return o;
}

void multi_download::open_connection(const connection_ptr& c) {
    if (!c->stream) c->stream = std::make_shared<http_stream>(io);
    set_up_stream(*c->stream, range_options(c), true);
    c->progressed = false;
    c->open_ended = false;
    c->reused = false;
    stamp(c);
    c->stream->async_open(final_url,
                          guarded(c, [this, c](const boost::system::error_code& ec) { handle_open(c, ec); }));
}

bool multi_download::check_ranged_reply(const connection_ptr& c, boost::system::error_code& ec) const {
    const option_list response = c->stream->response_options();
    int64_t first = 0, last = 0, total = 0;
    const bool exact = !content_coded(response) && response.find(option_names::status_code) == "206" &&
                       c->stream->final_url().to_string(url::all_parts) == final_url.to_string(url::all_parts) &&
                       parse_content_range(response.find(option_names::content_range), first, last, total) &&
                       first == c->range_begin && last == c->range_end && total == file_size_;
    if (!exact) ec = protocol_error();
    return exact;
}

void multi_download::handle_open(const connection_ptr& c, const boost::system::error_code& e) {
    boost::system::error_code ec = e;
    if (abort) {
        c->last_error = ec;
        return;
    }
    if (ec && c->reused && closed_before_answer(ec)) {
        // The kept connection was gone: a new one asks for the same range at
        // once. That is no failed attempt, and only a kept connection is
        // opened again this way, so it cannot repeat without an answer.
        close_stream(c);
        open_connection(c);
        return;
    }
    if (!ec && accept_multi) check_ranged_reply(c, ec);
    if (ec) {
        connection_failed(c, ec);
        return;
    }
    stamp(c);
    read_step(c);
}

void multi_download::read_step(const connection_ptr& c) {
    int64_t size = sizeof c->buffer;
    if (accept_multi) size = std::min<int64_t>(size, c->range_end - (c->range_begin + c->range_bytes) + 1);
    if (quota != -1) {
        size = std::min<int64_t>(quota, size);
        quota -= static_cast<int32_t>(size);
        if (size == 0) {
            // The quota of this tick is used up: wait for the next one without
            // blocking the thread, so the timer and the other handlers run.
            if (!c->rate_wait) c->rate_wait.reset(new boost::asio::deadline_timer(io));
            c->rate_wait->expires_from_now(boost::posix_time::milliseconds(1000));
            c->waiting_quota = true;
            c->rate_wait->async_wait(
                guarded(c, [this, c](const boost::system::error_code& ec) { handle_rate_wait(c, ec); }));
            return;
        }
    }
    c->stream->async_read_some(
        boost::asio::buffer(c->buffer, static_cast<std::size_t>(size)),
        guarded(c, [this, c](const boost::system::error_code& ec, std::size_t n) { handle_read(c, ec, n); }));
}

void multi_download::handle_rate_wait(const connection_ptr& c, const boost::system::error_code&) {
    c->waiting_quota = false;
    if (abort || c->done) return;
    stamp(c);
    read_step(c);
}

void multi_download::handle_read(const connection_ptr& c, const boost::system::error_code& ec, std::size_t n) {
    const bool data = !ec || ec == boost::asio::error::eof;
    if (n > 0 && data && !store(c, n)) return;
    if (accept_multi && !abort && data && c->range_bytes >= c->range_end - c->range_begin + 1) {
        // The range is complete; a server that closed right after it is no
        // failure.
        if (ec)
            replace_now(c);
        else
            next_range(c);
        return;
    }
    // An empty read without an error is the end of a kept-alive body.
    if (ec || abort || n == 0) {
        read_ended(c, ec);
        return;
    }
    if (!accept_multi && file_size_ >= 0 && c->total_bytes == file_size_) {
        // The whole file arrived over the one connection.
        abort = true;
        timer.cancel();
        return;
    }
    stamp(c);
    read_step(c);
}

bool multi_download::store(const connection_ptr& c, std::size_t n) {
    // Bytes count only once they are written.
    if (!storage) return true;
    const int64_t position = c->range_begin + c->range_bytes;
    const int64_t got = storage->write(c->buffer, position, static_cast<int>(n));
    if (got != static_cast<int64_t>(n)) {
        // A failed or short write (a full disk): nothing of it counts as
        // written, and the download ends as failed.
        fail(boost::system::errc::make_error_code(boost::system::errc::io_error));
        return false;
    }
    if (file_size_ >= 0) mark_written(position, position + static_cast<int64_t>(n));
    stat->bytes += static_cast<int32_t>(n);
    c->range_bytes += static_cast<int64_t>(n);
    c->total_bytes += static_cast<int64_t>(n);
    received_ += static_cast<int64_t>(n);
    c->progressed = true;
    return true;
}

void multi_download::read_ended(const connection_ptr& c, const boost::system::error_code& ec) {
    if (ec && ec.value() == fatal_read_error) {
        fail(ec);
        return;
    }
    if (abort) {
        c->last_error = ec;
        return;
    }
    if (!accept_multi) {
        // One connection: its end (error, close or end of body) is the end.
        if (!ec || ec == boost::asio::error::eof) take_size_of_chunked_body(c);
        c->last_error = ec;
        abort = true;
        timer.cancel();
        return;
    }
    // The range is not complete: the connection failed or was closed.
    connection_failed(c, ec ? ec : boost::system::error_code(boost::asio::error::eof));
}

void multi_download::take_size_of_chunked_body(const connection_ptr& c) {
    // A body without a length that ended with its last chunk arrived whole
    // (a body ended by the close of the connection may be cut short, so that
    // one stays incomplete): the file is the bytes written.
    if (file_size_ >= 0 || !c->stream || !c->stream->chunked_body_ended()) return;
    set_size(c->total_bytes);
    if (c->total_bytes > 0) mark_written(0, c->total_bytes);
}

void multi_download::next_range(const connection_ptr& c) {
    // Another request on this connection only when both sides keep it alive
    // and the answer was the asked range alone (not the probe's open end).
    const bool reusable = keep_alive && !c->open_ended && c->stream->keep_alive() &&
                          to_lower(c->stream->response_options().find(option_names::connection)) != "close";
    if (!reusable) {
        replace_now(c);
    } else if (!allocate_range(c)) {
        go_idle(c);
    } else {
        request_next(c);
    }
}

void multi_download::request_next(const connection_ptr& c) {
    const option_list request = range_options(c);
    set_up_stream(*c->stream, request, true);
    c->progressed = false;
    c->reused = true;
    stamp(c);
    c->stream->async_request(request,
                             guarded(c, [this, c](const boost::system::error_code& ec) { handle_open(c, ec); }));
}

void multi_download::replace_now(const connection_ptr& c) {
    close_stream(c);
    c->failures = 0;
    if (!allocate_range(c)) {
        go_idle(c);
        return;
    }
    open_connection(c);
}

void multi_download::go_idle(const connection_ptr& c) {
    close_stream(c);
    c->done = true;
    c->idle = true;
}

void multi_download::arm_timer() {
    timer.expires_from_now(boost::posix_time::seconds(1));
    auto self = shared_from_this();
    const unsigned generation = generation_;
    timer.async_wait([self, generation](const boost::system::error_code& ec) {
        if (generation == self->generation_) self->on_tick(ec);
    });
}

void multi_download::on_tick(const boost::system::error_code& ec) {
    if (accept_multi) write_meta();
    if (abort || ec) {
        end_run();
        return;
    }
    stat->rate = static_cast<int32_t>((7.0 * stat->rate.load() + stat->bytes.load()) * 0.125);
    stat->bytes = 0;
    quota = settings.rate_limit;
    ++ticks_;
    check_connections();
    const bool all_done =
        std::all_of(connections.begin(), connections.end(), [](const connection_ptr& c) { return c->done; });
    if (all_done) {
        abort = true;
        if (accept_multi) write_meta();
        end_run();
        return;
    }
    arm_timer();
}

void multi_download::check_connections() {
    const auto stall = boost::posix_time::seconds(settings.stall_time_out);
    const auto time = now();
    for (const connection_ptr& c : connections) {
        if (c->done) continue;
        // The stall time-out is for connections that are silent; one that
        // failed waits only its pause.
        if (!c->restart && !c->waiting_quota && time - c->last_active > stall)
            connection_failed(c, boost::asio::error::timed_out);
        if (!c->done && c->restart && ticks_ >= c->retry_tick) restart_connection(c);
    }
}

void multi_download::connection_failed(const connection_ptr& c, const boost::system::error_code& ec) {
    c->last_error = ec;
    close_stream(c);
    if (!accept_multi) {
        end_single_run(c);
        return;
    }
    if (given_up_status(ec)) {
        // The server refuses the file: no attempt of this connection will
        // fetch its range, which stays requested (the run ends incomplete).
        c->done = true;
        return;
    }
    // Attempts in a row without data are bounded.
    c->failures = c->progressed ? 0 : c->failures + 1;
    if (c->failures >= std::max(1, settings.retry_limit)) {
        give_up(c);
        return;
    }
    schedule_restart(c, retry_pause(c->failures));
}

void multi_download::end_single_run(const connection_ptr& c) {
    // One connection: its failure is the end of the run.
    abort = true;
    c->done = true;
    timer.cancel();
}

int multi_download::retry_pause(int failures) const {
    // After data (no failure in a row) the next tick; then 2, 4, 8, ... ticks
    // up to the stall time-out.
    const int doubling = std::min(std::max(0, failures - 1), 20);
    return std::min(std::max(1, settings.stall_time_out), 1 << doubling);
}

void multi_download::schedule_restart(const connection_ptr& c, int ticks) {
    c->restart = true;
    c->retry_tick = ticks_ + ticks;
}

void multi_download::give_up(const connection_ptr& c) {
    c->done = true;
    // While another connection can still fetch, the unfinished span of this
    // one goes back to the pool, and connections that ran out of ranges are
    // woken to take it.
    bool others = false;
    for (const connection_ptr& other : connections) {
        if (other == c) continue;
        if (other->idle && other->total_bytes > 0) wake(other);
        others = others || !other->done;
    }
    const int64_t next = c->range_begin + c->range_bytes;
    if (others && c->range_end >= next) requested.remove(next, c->range_end + 1);
}

void multi_download::wake(const connection_ptr& c) {
    // An idle connection that is restarted at the next tick; it takes a new
    // range then, as it has none left.
    c->done = false;
    c->idle = false;
    c->failures = 0;
    c->range_begin = 0;
    c->range_end = -1;
    c->range_bytes = 0;
    schedule_restart(c, 0);
}

void multi_download::restart_connection(const connection_ptr& c) {
    c->restart = false;
    c->last_error = boost::system::error_code();
    close_stream(c);
    const int64_t next = c->range_begin + c->range_bytes;
    if (c->range_end - next >= 0) {
        // Bytes of the range are missing (the last one included): fetch them.
        c->range_begin = next;
        c->range_bytes = 0;
    } else if (!allocate_range(c)) {
        go_idle(c);
        return;
    }
    open_connection(c);
}

void multi_download::close_stream(const connection_ptr& c) {
    boost::system::error_code ignored;
    if (c->rate_wait) c->rate_wait->cancel(ignored);
    c->waiting_quota = false;
    if (!c->stream) return;
    c->stream->close(ignored);
    // A late completion of the closed stream finds another (or no) stream
    // and is ignored.
    c->stream.reset();
}

void multi_download::end_run() {
    close_meta();
    free_storage();
    // No socket of the run stays open (a program started next must not
    // inherit one).
    for (const connection_ptr& c : connections) close_stream(c);
}

void multi_download::fail(const boost::system::error_code& ec) {
    if (!failure_) failure_ = ec;
    stop();
}

void multi_download::stop() {
    abort = true;
    boost::system::error_code ignored;
    timer.cancel(ignored);
    for (const connection_ptr& c : connections) {
        if (c->stream) c->stream->close(ignored);
        if (c->rate_wait) c->rate_wait->cancel(ignored);
    }
}

void multi_download::write_meta() {
    if (file_size_ < 0 || settings.piece_size <= 0) return;
    resume_record record;
    record.final_url = final_url.to_string(url::all_parts);
    record.file_size = file_size_;
    record.piece_size = settings.piece_size;
    record.piece_num = piece_count(file_size_, settings.piece_size);
    record.bitfield = written.to_bitfield(settings.piece_size);
    write_resume_file(meta_file, settings.meta_file, record);
}

bool multi_download::record_fits(const resume_record& record, int64_t data_length) const {
    // Another version of the file, or another file: start afresh.
    if (record.file_size != file_size_ || record.piece_size > INT32_MAX) return false;
    boost::system::error_code ec;
    const url stored = url::from_string(record.final_url, ec);
    if (ec || !same_resource(stored, final_url)) return false;
    // Every piece it marks must be in the data file (a kill between the
    // rename of the data file and the removal of the record leaves a record
    // without its data).
    range_map marked;
    marked.from_bitfield(record.bitfield, record.piece_size, record.piece_num, record.file_size);
    return marked.count() == 0 || data_length >= marked.last_end();
}

void multi_download::read_meta(int64_t data_length) {
    resume_record record;
    bool restored = false;
    if (!read_resume_file(meta_file, settings.meta_file, record, restored)) {
        discard_resume_file(meta_file, settings.meta_file);
        return;
    }
    if (!restored) return;
    if (!record_fits(record, data_length)) {
        discard_resume_file(meta_file, settings.meta_file);
        return;
    }
    if (settings.allow_use_meta_url && !record.final_url.empty()) {
        boost::system::error_code ec;
        url stored = url::from_string(record.final_url, ec);
        if (!ec) final_url = stored;
    }
    set_size(record.file_size);
    settings.piece_size = static_cast<int32_t>(record.piece_size);
    requested.from_bitfield(record.bitfield, record.piece_size, record.piece_num, record.file_size);
    written.from_bitfield(record.bitfield, record.piece_size, record.piece_num, record.file_size);
    published_written_ = written.count();
}

void multi_download::close_meta() { meta_file.close(); }

void multi_download::free_storage() { storage.reset(); }

}  // namespace dlhttp
