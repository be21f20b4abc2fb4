#include "dlhttp/multi_download.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cctype>
#include <codecvt>
#include <cstdio>
#include <locale>

#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"
#include "dlhttp/option_names.h"
#include "dlhttp/resume_record.h"

namespace dlhttp {

namespace {

// The error value that ends the whole download from a read handler.
const int fatal_read_error = 53;

std::string narrow(const std::wstring& text) {
    std::wstring_convert<std::codecvt_utf8<wchar_t>> convert;
    try {
        return convert.to_bytes(text);
    } catch (const std::range_error&) {
        std::string out;
        for (wchar_t ch : text) out.push_back(static_cast<char>(ch));
        return out;
    }
}

std::string lower(std::string text) {
    for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

// A whole decimal number, no sign, no garbage, no overflow.
bool parse_size(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 18) return false;
    int64_t result = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return false;
        result = result * 10 + (ch - '0');
    }
    value = result;
    return true;
}

// "bytes first-last/total"
bool parse_content_range(const std::string& text, int64_t& first, int64_t& last, int64_t& total) {
    const std::string prefix = "bytes ";
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    const size_t dash = text.find('-', prefix.size());
    const size_t slash = text.find('/', prefix.size());
    if (dash == std::string::npos || slash == std::string::npos || dash > slash) return false;
    return parse_size(text.substr(prefix.size(), dash - prefix.size()), first) &&
           parse_size(text.substr(dash + 1, slash - dash - 1), last) && parse_size(text.substr(slash + 1), total);
}

// An answer whose body is content-coded is never taken as the file's bytes.
bool content_coded(const option_list& response) {
    const std::string coding = lower(response.find(option_names::content_encoding));
    return !coding.empty() && coding != "identity";
}

boost::system::error_code protocol_error() {
    return boost::system::errc::make_error_code(boost::system::errc::protocol_error);
}

boost::posix_time::ptime now() { return boost::posix_time::microsec_clock::universal_time(); }

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
        finished = true;
        stop();
    }
}

void multi_download::stamp(const connection_ptr& c) { c->last_active = now(); }

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
    final_url = url::from_string(escape_url_text(narrow(u)), ec);
    if (ec) throw boost::system::system_error(ec);

    // The probe: an open-ended range on a kept-alive connection.
    option_list probe_options = settings.opts;
    probe_options.remove(option_names::range);
    probe_options.insert(option_names::range, "bytes=0-");
    probe_options.remove(option_names::connection);
    probe_options.insert(option_names::connection, "keep-alive");
    connection_ptr probe = std::make_shared<http_stream_object>();
    probe->stream = std::make_shared<http_stream>(io);
    probe->stream->proxy(settings.proxy);
    probe->stream->request_options(probe_options);
    probe->stream->check_certificate(settings.check_certificate);
    if (!settings.ca_file.empty()) probe->stream->ca_file(settings.ca_file);
    probe->stream->handshake_timeout(std::chrono::seconds(std::max(1, settings.open_time_out)));
    connections.push_back(probe);
    probe->stream->open(final_url, ec);
    if (ec) throw boost::system::system_error(ec);

    const std::string location = probe->stream->location();
    if (!location.empty()) {
        final_url = url::from_string(location, ec);
        if (ec) throw boost::system::system_error(ec);
    }

    const option_list response = probe->stream->response_options();
    if (content_coded(response)) throw boost::system::system_error(protocol_error());
    accept_multi = response.find(option_names::status_code) == "206";
    if (settings.disable_multi_download) accept_multi = false;

    std::string size_text = response.find(option_names::content_length);
    if (size_text.empty()) {
        const std::string content_range = response.find(option_names::content_range);
        const size_t slash = content_range.find('/');
        if (slash != std::string::npos) size_text = content_range.substr(slash + 1);
    }
    int64_t size = -1;
    if (size_text.empty() || !parse_size(size_text, size)) {
        accept_multi = false;
        size = -1;
    }
    if (accept_multi) {
        // The probe's answer must be the range it asked for: from byte 0 to the
        // end of a file of that size.
        int64_t first = 0, last = 0, total = 0;
        if (!parse_content_range(response.find(option_names::content_range), first, last, total) || first != 0 ||
            total != size || last + 1 != total) {
            throw boost::system::system_error(protocol_error());
        }
    }
    if (size >= 0 && size != file_size_) set_size(size);

    // The storage first: its lock on the data file keeps a second run of the
    // same target out before that run could read (and, when it is locked,
    // remove) the resume record of the first.
    storage_interface* made = settings.storage ? settings.storage() : make_default_storage();
    if (!made)
        throw boost::system::system_error(boost::system::errc::make_error_code(boost::system::errc::not_enough_memory));
    storage.reset(made);
    storage->open(file_name(), ec);
    if (ec) {
        storage.reset();
        throw boost::system::system_error(ec);
    }

    if (accept_multi) {
        keep_alive = lower(response.find(option_names::connection)) == "keep-alive";
        if (settings.meta_file.empty()) settings.meta_file = file_name() + L".cfg";
        read_meta();
        if (written.complete()) {
            close_meta();
            free_storage();
            return;
        }
    }

    if (settings.connections_limit == -1) settings.connections_limit = 5;
    if (settings.piece_size == -1 && file_size_ >= 0) settings.piece_size = derive_piece_size(file_size_);
    if (settings.piece_size <= 0) settings.piece_size = 16384;
    if (settings.request_piece_num <= 0) settings.request_piece_num = 1;

    options = settings.opts;
    options.remove(option_names::connection);
    options.insert(option_names::connection, keep_alive ? "keep-alive" : "close");
    abort = false;
    finished = false;
    quota = settings.rate_limit;

    if (accept_multi) {
        if (!allocate_range(probe)) {
            probe->done = true;
        } else if (probe->range_begin == 0) {
            stamp(probe);
            read_step(probe);
        } else {
            boost::system::error_code ignored;
            probe->stream->close(ignored);
            open_connection(probe);
        }
        for (int i = 1; i < settings.connections_limit; ++i) {
            connection_ptr c = std::make_shared<http_stream_object>();
            connections.push_back(c);
            c->stream = std::make_shared<http_stream>(io);
            if (!allocate_range(c)) {
                c->done = true;
                continue;
            }
            open_connection(c);
        }
    } else {
        stamp(probe);
        read_step(probe);
    }
    arm_timer();
}

bool multi_download::allocate_range(const connection_ptr& c) {
    int64_t begin = 0, end = 0;
    if (!requested.first_free(0, begin, end)) return false;
    const int64_t most = static_cast<int64_t>(settings.piece_size) * settings.request_piece_num;
    end = std::min(end, begin + most);
    requested.add(begin, end);
    c->range_begin = begin;
    c->range_end = end - 1;
    c->range_bytes = 0;
    return true;
}

option_list multi_download::range_options(const connection_ptr& c) const {
    option_list o = options;
    o.remove(option_names::range);
    char text[64];
    std::snprintf(text, sizeof text, "bytes=%lld-%lld", static_cast<long long>(c->range_begin),
                  static_cast<long long>(c->range_end));
    o.insert(option_names::range, text);
    return o;
}

void multi_download::prepare_stream(const connection_ptr& c) {
    c->stream->request_options(range_options(c));
    c->stream->proxy(settings.proxy);
    c->stream->check_certificate(settings.check_certificate);
    if (!settings.ca_file.empty()) c->stream->ca_file(settings.ca_file);
    c->stream->handshake_timeout(std::chrono::seconds(std::max(1, settings.open_time_out)));
    c->progressed = false;
    stamp(c);
}

void multi_download::open_connection(const connection_ptr& c) {
    prepare_stream(c);
    auto self = shared_from_this();
    const unsigned generation = generation_;
    // The completion holds the stream: a stream replaced by a restart lives
    // until its pending operation has ended, and its late completion is ignored.
    std::shared_ptr<http_stream> stream = c->stream;
    stream->async_open(final_url, [self, c, stream, generation](const boost::system::error_code& ec) {
        if (stream == c->stream) self->handle_open(c, generation, ec);
    });
}

bool multi_download::check_ranged_reply(const connection_ptr& c, boost::system::error_code& ec) const {
    const option_list response = c->stream->response_options();
    if (content_coded(response)) {
        ec = protocol_error();
        return false;
    }
    if (response.find(option_names::status_code) != "206") {
        ec = protocol_error();
        return false;
    }
    int64_t first = 0, last = 0, total = 0;
    if (!parse_content_range(response.find(option_names::content_range), first, last, total) ||
        first != c->range_begin || last != c->range_end || total != file_size_) {
        ec = protocol_error();
        return false;
    }
    return true;
}

void multi_download::handle_open(const connection_ptr& c, unsigned generation, const boost::system::error_code& e) {
    if (generation != generation_) return;
    boost::system::error_code ec = e;
    if (!ec && !abort && accept_multi) check_ranged_reply(c, ec);
    if (ec || abort) {
        c->last_error = ec;
        if (ec && accept_multi) {
            // The answer is not taken; the timer restarts the connection.
            boost::system::error_code ignored;
            c->stream->close(ignored);
        }
        if (!accept_multi) {
            abort = true;
            timer.cancel();
        }
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
            auto self = shared_from_this();
            const unsigned generation = generation_;
            std::shared_ptr<http_stream> stream = c->stream;
            c->rate_wait->async_wait([self, c, stream, generation](const boost::system::error_code& ec) {
                if (stream == c->stream) self->handle_rate_wait(c, generation, ec);
            });
            return;
        }
    }
    auto self = shared_from_this();
    const unsigned generation = generation_;
    std::shared_ptr<http_stream> stream = c->stream;
    stream->async_read_some(boost::asio::buffer(c->buffer, static_cast<std::size_t>(size)),
                            [self, c, stream, generation](const boost::system::error_code& ec, std::size_t n) {
                                if (stream == c->stream) self->handle_read(c, generation, ec, n);
                            });
}

void multi_download::handle_rate_wait(const connection_ptr& c, unsigned generation,
                                      const boost::system::error_code& ec) {
    if (generation != generation_ || abort || c->done) return;
    stamp(c);
    read_step(c);
}

void multi_download::handle_read(const connection_ptr& c, unsigned generation, const boost::system::error_code& e,
                                 std::size_t n) {
    if (generation != generation_) return;
    stat->bytes += static_cast<int32_t>(n);
    if (storage && n > 0 && (!e || e == boost::asio::error::eof)) {
        const int64_t position = c->range_begin + c->range_bytes;
        const int64_t got = storage->write(c->buffer, position, static_cast<int>(n));
        if (got != static_cast<int64_t>(n)) {
            // A failed or short write (a full disk): nothing of it counts as
            // written, and the download ends as failed.
            fail(boost::system::errc::make_error_code(boost::system::errc::io_error));
            return;
        }
        if (file_size_ >= 0) mark_written(position, position + static_cast<int64_t>(n));
    }
    c->range_bytes += static_cast<int64_t>(n);
    c->total_bytes += static_cast<int64_t>(n);
    received_ += static_cast<int64_t>(n);
    if (n > 0) {
        c->progressed = true;
        c->failures = 0;
    }

    if (e || abort) {
        if (e && e.value() == fatal_read_error) {
            fail(e);
            return;
        }
        c->last_error = e;
        if (!accept_multi) {
            abort = true;
            timer.cancel();
        }
        return;
    }

    if (accept_multi && c->range_bytes >= c->range_end - c->range_begin + 1) {
        const bool probe_answer = c->range_begin == 0 && c == connections.front();
        if (!keep_alive || probe_answer) {
            c->restart = true;
            return;
        }
        if (!allocate_range(c)) {
            c->restart = true;
            return;
        }
        c->stream->request_options(range_options(c));
        c->stream->proxy(settings.proxy);
        c->stream->check_certificate(settings.check_certificate);
        c->progressed = false;
        stamp(c);
        auto self = shared_from_this();
        const unsigned gen = generation_;
        std::shared_ptr<http_stream> stream = c->stream;
        stream->async_request(range_options(c), [self, c, stream, gen](const boost::system::error_code& ec) {
            if (stream == c->stream) self->handle_open(c, gen, ec);
        });
        return;
    }

    if (!accept_multi && file_size_ >= 0 && c->total_bytes == file_size_) {
        abort = true;
        finished = true;
        timer.cancel();
        return;
    }
    stamp(c);
    read_step(c);
}

void multi_download::arm_timer() {
    timer.expires_from_now(boost::posix_time::seconds(1));
    auto self = shared_from_this();
    const unsigned generation = generation_;
    timer.async_wait([self, generation](const boost::system::error_code& ec) { self->on_tick(generation, ec); });
}

void multi_download::on_tick(unsigned generation, const boost::system::error_code& ec) {
    if (generation != generation_) return;
    if (accept_multi) write_meta();
    if (abort || ec) {
        close_meta();
        free_storage();
        return;
    }
    stat->rate = static_cast<int32_t>((7.0 * stat->rate.load() + stat->bytes.load()) * 0.125);
    stat->bytes = 0;
    quota = settings.rate_limit;

    const auto stall = boost::posix_time::seconds(settings.time_out);
    const auto time = now();
    for (const connection_ptr& c : connections) {
        if (c->done) continue;
        if (time - c->last_active > stall || c->restart) restart_connection(c);
    }

    bool all_done =
        std::all_of(connections.begin(), connections.end(), [](const connection_ptr& c) { return c->done; });
    if (all_done) {
        abort = true;
        finished = true;
        if (accept_multi) write_meta();
        close_meta();
        free_storage();
        return;
    }
    arm_timer();
}

void multi_download::restart_connection(const connection_ptr& c) {
    boost::system::error_code ignored;
    c->stream->close(ignored);
    if (c->rate_wait) c->rate_wait->cancel();
    const boost::system::error_code last = c->last_error;
    if (last == http_error::forbidden || last == http_error::not_found || last == http_error::method_not_allowed) {
        c->done = true;
        return;
    }
    if (!accept_multi) {
        abort = true;
        c->done = true;
        return;
    }
    // A connection that keeps failing without data is given up: its range
    // stays requested and the download ends incomplete, to be resumed later.
    if (!c->progressed) {
        if (++c->failures >= std::max(1, settings.retry_limit)) {
            c->done = true;
            return;
        }
    } else {
        c->failures = 0;
    }
    c->restart = false;
    c->last_error = boost::system::error_code();
    c->stream = std::make_shared<http_stream>(io);
    const int64_t next = c->range_begin + c->range_bytes;
    if (c->range_end - next >= 0) {
        // Bytes of the range are missing (the last one included): fetch them.
        c->range_begin = next;
        c->range_bytes = 0;
    } else if (!allocate_range(c)) {
        c->done = true;
        return;
    }
    open_connection(c);
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

void multi_download::read_meta() {
    resume_record record;
    bool restored = false;
    if (!read_resume_file(meta_file, settings.meta_file, record, restored)) {
        discard_resume_file(meta_file, settings.meta_file);
        return;
    }
    if (!restored) return;
    if (record.file_size != file_size_ || record.piece_size > INT32_MAX) {
        // The record belongs to another version of the file: start afresh.
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
