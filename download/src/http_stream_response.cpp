// The receiving half of the stream: status line and header block, framing of
// the body (chunked, gzip, length, keep-alive), cookies, the asynchronous
// redirect step, and the three body read interfaces (read_some,
// async_read_some, underflow).
#include "dlhttp/http_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/system/system_error.hpp>

#include "dlhttp/http_error.h"
#include "dlhttp/option_names.h"
#include "dlhttp/response_head.h"

namespace dlhttp {

namespace {

// A TLS peer that closes without close_notify, and a connection shut down,
// both end the stream like a clean end of file.
boost::system::error_code normalized(const boost::system::error_code& ec) {
    if (ec == boost::asio::error::shut_down || ec == boost::asio::ssl::error::stream_truncated)
        return boost::asio::error::eof;
    return ec;
}

// At most `limit` bytes of the buffers, in order.
http_stream::buffer_list limited(const http_stream::buffer_list& buffers, uint64_t limit) {
    http_stream::buffer_list out;
    for (const auto& b : buffers) {
        if (limit == 0) break;
        std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(b.size(), limit));
        out.push_back(boost::asio::mutable_buffer(b.data(), n));
        limit -= n;
    }
    return out;
}

const std::size_t async_read_size = 16 * 1024;

}  // namespace

boost::system::error_code http_stream::end_of_body() const {
    return keep_alive_ ? boost::system::error_code() : boost::system::error_code(boost::asio::error::eof);
}

bool http_stream::body_complete() const {
    return keep_alive_ && body_length_ >= 0 && body_bytes_read_ >= static_cast<uint64_t>(body_length_);
}

uint64_t http_stream::body_bytes_left() const {
    if (!keep_alive_ || body_length_ < 0) return std::numeric_limits<uint64_t>::max();
    uint64_t length = static_cast<uint64_t>(body_length_);
    return body_bytes_read_ >= length ? 0 : length - body_bytes_read_;
}

// ---------------------------------------------------------------- head

void http_stream::read_response_head(boost::system::error_code& ec) {
    bool done = false;
    blocking_ = true;
    response_buffer_.consume(response_buffer_.size());
    arm_deadline();
    read_status_line([&](const boost::system::error_code& result) {
        ec = result;
        done = true;
    });
    run_until(done);
}

void http_stream::read_status_line(const open_handler& handler) {
    boost::asio::async_read_until(
        sock_, response_buffer_, "\r\n",
        [this, handler](const boost::system::error_code& ec, std::size_t) { handle_status_line(handler, ec); });
}

boost::system::error_code http_stream::take_status_line() {
    std::string text(boost::asio::buffers_begin(response_buffer_.data()),
                     boost::asio::buffers_end(response_buffer_.data()));
    std::stringbuf copy(text);
    int major = 0, minor = 0, status = 0;
    status_code_ = 0;
    bool parsed = detail::parse_status_line(std::istreambuf_iterator<char>(&copy), std::istreambuf_iterator<char>(),
                                            major, minor, status);
    status_code_ = status;
    if (!parsed) return make_error_code(malformed_status_line);
    std::size_t consumed = text.size() - static_cast<std::size_t>(copy.in_avail());
    if (status == 100) {
        // An interim response carries no header fields: its empty line must
        // have arrived with it.
        if (text.size() - consumed < 2 || text.compare(consumed, 2, "\r\n") != 0)
            return make_error_code(malformed_status_line);
        consumed += 2;
    }
    response_buffer_.consume(consumed);
    return boost::system::error_code();
}

void http_stream::handle_status_line(const open_handler& handler, const boost::system::error_code& ec) {
    if (ec) {
        if (ec == boost::asio::error::not_found) return complete(handler, make_error_code(malformed_status_line));
        return complete(handler, normalized(ec));
    }
    boost::system::error_code result = take_status_line();
    if (result) return complete(handler, result);
    if (status_code_ == 100 && user_request_options_.find(option_names::request_method) != "POST")
        return read_status_line(handler);
    response_options_.clear();
    response_options_.insert(option_names::status_code, std::to_string(status_code_));
    if (status_code_ == 100) return complete(handler, make_error_code(continue_request));
    read_head_lines(sock_, std::make_shared<std::string>(),
                    [this, handler](const boost::system::error_code& ec, const std::string& head) {
                        if (ec) return complete(handler, ec);
                        boost::system::error_code result;
                        if (apply_head(head, handler, result)) return;  // a redirect is followed
                        complete(handler, result);
                    });
}

template <typename Stream>
void http_stream::read_head_lines(Stream& s, std::shared_ptr<std::string> head, const head_handler& next) {
    boost::asio::async_read_until(
        s, response_buffer_, "\r\n", [this, &s, head, next](const boost::system::error_code& ec, std::size_t bytes) {
            if (ec) {
                boost::system::error_code e = normalized(ec);
                // A full buffer without a line end, or the end of the
                // connection in the blocking form, makes the head malformed.
                if (e == boost::asio::error::not_found || (e == boost::asio::error::eof && blocking_))
                    e = make_error_code(malformed_response_headers);
                return next(e, *head);
            }
            // A close or a new open empties the buffer; a read that had
            // already completed then finds less than it read.
            if (bytes > response_buffer_.size()) return next(boost::asio::error::operation_aborted, *head);
            std::size_t before = head->size();
            head->append(boost::asio::buffers_begin(response_buffer_.data()),
                         boost::asio::buffers_begin(response_buffer_.data()) + bytes);
            response_buffer_.consume(bytes);
            if (head->size() > max_head_size) return next(make_error_code(malformed_response_headers), *head);
            if (head->size() - before == 2 && head->compare(before, 2, "\r\n") == 0)
                return next(boost::system::error_code(), *head);
            read_head_lines(s, head, next);
        });
}

void http_stream::tunnel_status_line(tcp_socket& s, const open_handler& handler, const boost::system::error_code& ec) {
    if (ec) {
        if (ec == boost::asio::error::not_found) return complete(handler, make_error_code(malformed_status_line));
        return complete(handler, normalized(ec));
    }
    boost::system::error_code result = take_status_line();
    if (result) return complete(handler, result);
    if (status_code_ == 100) {
        return boost::asio::async_read_until(s, response_buffer_, "\r\n",
                                             [this, &s, handler](const boost::system::error_code& ec, std::size_t) {
                                                 tunnel_status_line(s, handler, ec);
                                             });
    }
    response_options_.clear();
    response_options_.insert(option_names::status_code, std::to_string(status_code_));
    read_head_lines(s, std::make_shared<std::string>(),
                    [this, handler](const boost::system::error_code& ec, const std::string& head) {
                        tunnel_header(handler, ec, head);
                    });
}

void http_stream::tunnel_header(const open_handler& handler, const boost::system::error_code& ec,
                                const std::string& head) {
    if (ec) return complete(handler, ec);
    response_buffer_.consume(response_buffer_.size());
    if (!detail::parse_header_block(head.data(), head.data() + head.size(), content_type_, content_length_, location_,
                                    response_options_))
        return complete(handler, make_error_code(malformed_response_headers));
    if (status_code_ != 200) return complete(handler, make_error_code(static_cast<http_error>(status_code_)));
    proxy_phase_ = 12;
    tls_handshake(handler);
}

void http_stream::make_location_absolute() {
    if (location_.empty() || location_.find("://") != std::string::npos) return;
    if (location_.compare(0, 2, "//") == 0) {
        location_ = url_.scheme() + ":" + location_;
        return;
    }
    std::string origin = url_.to_string(url::scheme_part | url::user_info_part | url::host_part | url::port_part);
    std::string path = url_.path();
    if (location_[0] == '/') {
        location_ = origin + location_;
    } else if (location_[0] == '?' || location_[0] == '#') {
        location_ = origin + path + location_;
    } else {
        std::size_t slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "/" : path.substr(0, slash + 1);
        location_ = origin + folder + location_;
    }
}

bool http_stream::apply_head(const std::string& head, const open_handler& handler, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    if (!detail::parse_header_block(head.data(), head.data() + head.size(), content_type_, content_length_, location_,
                                    response_options_)) {
        ec = make_error_code(malformed_response_headers);
        return false;
    }
    make_location_absolute();
    body_length_ = -1;
    std::string length;
    if (response_options_.find(option_names::content_length, length)) {
        char* end = nullptr;
        errno = 0;
        long long value = std::strtoll(length.c_str(), &end, 10);
        if (errno == 0 && end != length.c_str() && value >= 0) body_length_ = value;
    }
    bool redirect = status_code_ == moved_permanently || status_code_ == found;
    if (!blocking_ && redirect) {
        boost::system::error_code ignored;
        sock_.close(ignored);
        ++redirect_count_;
        if (redirect_count_ <= max_redirects_) {
            boost::system::error_code parse_error;
            url target = url::from_string(location_, parse_error);
            if (parse_error) {
                ec = make_error_code(invalid_redirect_address);
                return false;
            }
            start_open(target, handler, false);
            return true;
        }
    }
    // The blocking open keeps the count itself (it follows the redirect).
    if (!blocking_) redirect_count_ = 0;
    if (status_code_ != ok && status_code_ != partial_content)
        ec = make_error_code(static_cast<http_error>(status_code_));

    std::string encoding = response_options_.find(option_names::content_encoding);
    if (encoding == "gzip" || encoding == "x-gzip") {
        gzip_ = true;
        if (!start_inflater()) {
            ec = boost::asio::error::operation_not_supported;
            return false;
        }
    }
    if (response_options_.find(option_names::transfer_encoding) == "chunked") chunked_ = true;
    if (request_options_.find(option_names::connection) == "close") keep_alive_ = false;
    if (response_options_.find(option_names::connection) == "close") keep_alive_ = false;
    for (const auto& entry : response_options_) {
        std::string name = entry.first;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "set-cookie") cookies_.add_line(entry.second);
    }
    return false;
}

// ---------------------------------------------------------------- inflater

bool http_stream::start_inflater() {
    inflate_done_ = false;
    inflated_bytes_ = 0;
    if (inflater_.zalloc) {
        // A body before this one may have left it mid-stream.
        inflater_.avail_in = 0;
        return inflateReset(&inflater_) == Z_OK;
    }
    inflater_ = z_stream();
    if (inflateInit2(&inflater_, 47) != Z_OK) {
        inflater_ = z_stream();
        return false;
    }
    inflater_.avail_in = 0;
    return true;
}

void http_stream::end_inflater() {
    if (!inflater_.zalloc) return;
    inflateEnd(&inflater_);
    inflater_ = z_stream();
}

bool http_stream::inflater_has_input() const { return gzip_ && inflater_.zalloc && inflater_.avail_in > 0; }

void http_stream::set_inflater_input(std::size_t count) {
    inflate_input_size_ = static_cast<int32_t>(count);
    inflater_.next_in = reinterpret_cast<Bytef*>(inflate_input_);
    inflater_.avail_in = static_cast<uInt>(count);
}

std::size_t http_stream::inflate_into(const buffer_list& buffers, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    if (!inflater_.zalloc) {
        ec = boost::asio::error::operation_not_supported;
        return 0;
    }
    std::size_t produced = 0;
    for (const auto& b : buffers) {
        if (b.size() == 0) continue;
        if (inflate_done_) {
            // Whatever follows the end of the compressed data is dropped.
            inflater_.avail_in = 0;
            break;
        }
        if (inflater_.avail_in == 0) break;
        std::size_t space = std::min<std::size_t>(b.size(), std::numeric_limits<uInt>::max());
        inflater_.next_in = reinterpret_cast<Bytef*>(inflate_input_ + inflate_input_size_ - inflater_.avail_in);
        inflater_.next_out = static_cast<Bytef*>(b.data());
        inflater_.avail_out = static_cast<uInt>(space);
        int result = inflate(&inflater_, Z_SYNC_FLUSH);
        std::size_t got = space - inflater_.avail_out;
        produced += got;
        if (result == Z_STREAM_END) {
            inflate_done_ = true;
            inflater_.avail_in = 0;
        } else if (result == Z_BUF_ERROR) {
            break;
        } else if (result < 0) {
            ec = boost::asio::error::operation_not_supported;
            return 0;
        }
        if (inflater_.avail_out != 0) break;
    }
    inflated_bytes_ += static_cast<int64_t>(produced);
    if (inflated_bytes_ > max_inflated_bytes_) {
        ec = boost::asio::error::message_size;
        return 0;
    }
    return produced;
}

// ---------------------------------------------------------------- synchronous body

std::size_t http_stream::read_raw(const buffer_list& buffers, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    if (response_buffer_.size() > 0) {
        std::size_t n = boost::asio::buffer_copy(buffers, response_buffer_.data());
        response_buffer_.consume(n);
        return n;
    }
    if (boost::asio::buffer_size(buffers) == 0) return 0;
    std::size_t n = sock_.read_some(buffers, ec);
    ec = normalized(ec);
    return n;
}

std::size_t http_stream::take_buffered(char* data, std::size_t size) {
    std::size_t n = boost::asio::buffer_copy(boost::asio::buffer(data, size), response_buffer_.data());
    response_buffer_.consume(n);
    return n;
}

bool http_stream::take_chunk_size(const std::string& line, boost::system::error_code& ec) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < line.size(); ++i) {
        char c = line[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        ++digits;
        if (value > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) >> 4)) {
            ec = make_error_code(invalid_chunked_encoding);
            return false;
        }
        value = value << 4 | static_cast<uint64_t>(d);
    }
    // A size line without a number, or with one too large for any body, is
    // garbage: never a clean end of the body.
    if (digits == 0) {
        ec = make_error_code(invalid_chunked_encoding);
        return false;
    }
    chunk_remaining_ = value;
    first_chunk_ = false;
    return true;
}

// Reads one line ending in "\r\n" byte by byte (bounded).
bool http_stream::read_line_sync(std::string& line, boost::system::error_code& ec) {
    line.clear();
    while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
        if (line.size() >= max_chunk_size_line) {
            ec = make_error_code(invalid_chunked_encoding);
            return false;
        }
        char c;
        std::size_t n = read_raw(buffer_list{boost::asio::buffer(&c, 1)}, ec);
        if (ec) return false;
        if (n == 1) line += c;
    }
    return true;
}

std::size_t http_stream::read_some_list(const buffer_list& buffers, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    if (boost::asio::buffer_size(buffers) == 0) return 0;
    for (;;) {
        if (!chunked_ && !gzip_) {
            if (body_complete()) return 0;
            std::size_t n = read_raw(limited(buffers, body_bytes_left()), ec);
            body_bytes_read_ += n;
            return n;
        }
        if (!chunked_) {
            if (!inflater_has_input()) {
                if (inflate_done_) return ec = end_of_body(), 0;
                if (body_complete()) return 0;
                std::size_t n = read_raw(
                    buffer_list{boost::asio::buffer(inflate_input_, std::min<uint64_t>(1024, body_bytes_left()))}, ec);
                body_bytes_read_ += n;
                set_inflater_input(n);
                if (n == 0) return 0;
            }
            std::size_t produced = inflate_into(buffers, ec);
            if (ec || produced > 0) return produced;
            if (inflate_done_) return ec = end_of_body(), 0;
            continue;
        }
        // Chunked body.
        if (last_chunk_read_ && !inflater_has_input()) {
            end_inflater();
            return ec = end_of_body(), 0;
        }
        if (chunk_remaining_ == 0 && !inflater_has_input()) {
            std::string line;
            if (!first_chunk_) {
                char end[2];
                std::size_t have = 0;
                while (have < 2) {
                    have += read_raw(buffer_list{boost::asio::buffer(end + have, 2 - have)}, ec);
                    if (ec) return 0;
                }
                if (end[0] != '\r' || end[1] != '\n') return ec = make_error_code(invalid_chunked_encoding), 0;
            }
            if (!read_line_sync(line, ec) || !take_chunk_size(line, ec)) return 0;
            if (chunk_remaining_ == 0) {
                // The last chunk: its trailer lines up to the empty line are
                // taken now, so the connection is ready for the next request.
                do {
                    if (!read_line_sync(line, ec)) return 0;
                } while (line != "\r\n");
                last_chunk_read_ = true;
                continue;
            }
        }
        if (gzip_) {
            if (!inflater_has_input()) {
                if (chunk_remaining_ == 0) continue;
                std::size_t n = read_raw(
                    buffer_list{boost::asio::buffer(inflate_input_, std::min<uint64_t>(1024, chunk_remaining_))}, ec);
                chunk_remaining_ -= n;
                set_inflater_input(n);
                if (n == 0) return 0;
            }
            std::size_t produced = inflate_into(buffers, ec);
            if (ec || produced > 0) return produced;
            continue;
        }
        std::size_t n = read_raw(limited(buffer_list{buffers.front()}, chunk_remaining_), ec);
        chunk_remaining_ -= n;
        return n;
    }
}

// ---------------------------------------------------------------- asynchronous body

void http_stream::post_read(const read_handler& handler, const boost::system::error_code& ec, std::size_t n) {
    boost::asio::post(io_, [handler, ec, n]() { handler(ec, n); });
}

void http_stream::start_read_some(const buffer_list& buffers, const read_handler& handler) {
    if (boost::asio::buffer_size(buffers) == 0) return post_read(handler, boost::system::error_code(), 0);
    if (chunked_) {
        if (last_chunk_read_ && !inflater_has_input()) {
            end_inflater();
            return post_read(handler, end_of_body(), 0);
        }
        if (chunk_remaining_ > 0 || inflater_has_input()) {
            if (response_buffer_.size() > 0 || inflater_has_input()) {
                return boost::asio::post(io_, [this, buffers, handler]() {
                    handle_chunk_read(buffers, handler, boost::system::error_code(), 0);
                });
            }
            std::size_t want = static_cast<std::size_t>(
                std::min<uint64_t>(chunk_remaining_, std::min(boost::asio::buffer_size(buffers), async_read_size)));
            return sock_.async_read_some(response_buffer_.prepare(want),
                                         [this, buffers, handler](const boost::system::error_code& ec, std::size_t n) {
                                             response_buffer_.commit(n);
                                             handle_chunk_read(buffers, handler, ec, n);
                                         });
        }
        if (first_chunk_) return read_chunk_size_line(buffers, handler);
        std::size_t have = response_buffer_.size();
        if (have >= 2) {
            return boost::asio::post(
                io_, [this, buffers, handler]() { handle_chunk_end(buffers, handler, boost::system::error_code()); });
        }
        return boost::asio::async_read(sock_, response_buffer_, boost::asio::transfer_exactly(2 - have),
                                       [this, buffers, handler](const boost::system::error_code& ec, std::size_t) {
                                           handle_chunk_end(buffers, handler, ec);
                                       });
    }
    if (gzip_) {
        if (inflater_has_input() || response_buffer_.size() > 0) {
            return boost::asio::post(io_, [this, buffers, handler]() {
                handle_body_read(buffers, handler, boost::system::error_code(), 0);
            });
        }
        if (inflate_done_) return post_read(handler, end_of_body(), 0);
        if (body_complete()) return post_read(handler, boost::system::error_code(), 0);
        std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(sizeof(inflate_input_), body_bytes_left()));
        return sock_.async_read_some(response_buffer_.prepare(want),
                                     [this, buffers, handler](const boost::system::error_code& ec, std::size_t n) {
                                         response_buffer_.commit(n);
                                         handle_body_read(buffers, handler, ec, n);
                                     });
    }
    if (body_complete()) return post_read(handler, boost::system::error_code(), 0);
    buffer_list part = limited(buffers, body_bytes_left());
    if (response_buffer_.size() > 0) {
        boost::system::error_code ec;
        std::size_t n = read_raw(part, ec);
        body_bytes_read_ += n;
        return post_read(handler, ec, n);
    }
    sock_.async_read_some(part, [this, handler](const boost::system::error_code& ec, std::size_t n) {
        body_bytes_read_ += n;
        handler(normalized(ec), n);
    });
}

void http_stream::handle_body_read(const buffer_list& buffers, const read_handler& handler,
                                   boost::system::error_code ec, std::size_t n) {
    ec = normalized(ec);
    if (ec && response_buffer_.size() == 0 && !inflater_has_input()) return handler(ec, 0);
    if (!inflater_has_input()) {
        std::size_t got = take_buffered(inflate_input_, std::min<uint64_t>(sizeof(inflate_input_), body_bytes_left()));
        body_bytes_read_ += got;
        set_inflater_input(got);
        if (got == 0) return handler(ec, 0);
    }
    boost::system::error_code inflate_error;
    std::size_t produced = inflate_into(buffers, inflate_error);
    if (inflate_error) return handler(inflate_error, 0);
    if (produced == 0) {
        if (inflate_done_) return handler(end_of_body(), 0);
        return start_read_some(buffers, handler);
    }
    bool drained = !inflater_has_input() && response_buffer_.size() == 0;
    handler(drained ? ec : boost::system::error_code(), produced);
}

void http_stream::handle_chunk_read(const buffer_list& buffers, const read_handler& handler,
                                    boost::system::error_code ec, std::size_t n) {
    ec = normalized(ec);
    if (ec && response_buffer_.size() == 0 && !inflater_has_input()) return handler(ec, 0);
    if (gzip_) {
        if (!inflater_has_input()) {
            std::size_t got =
                take_buffered(inflate_input_, std::min<uint64_t>(sizeof(inflate_input_), chunk_remaining_));
            chunk_remaining_ -= got;
            set_inflater_input(got);
        }
        boost::system::error_code inflate_error;
        std::size_t produced = inflate_into(buffers, inflate_error);
        if (inflate_error) return handler(inflate_error, 0);
        if (produced == 0) return start_read_some(buffers, handler);
        return handler(boost::system::error_code(), produced);
    }
    if (response_buffer_.size() == 0) return start_read_some(buffers, handler);
    boost::system::error_code read_ec;
    std::size_t got = read_raw(limited(buffer_list{buffers.front()}, chunk_remaining_), read_ec);
    chunk_remaining_ -= got;
    handler(read_ec, got);
}

void http_stream::handle_chunk_end(const buffer_list& buffers, const read_handler& handler,
                                   const boost::system::error_code& ec) {
    if (ec) return handler(normalized(ec), 0);
    char end[2];
    take_buffered(end, 2);
    if (end[0] != '\r' || end[1] != '\n') return handler(make_error_code(invalid_chunked_encoding), 0);
    read_chunk_size_line(buffers, handler);
}

void http_stream::read_chunk_size_line(const buffer_list& buffers, const read_handler& handler) {
    boost::asio::async_read_until(sock_, response_buffer_, "\r\n",
                                  [this, buffers, handler](const boost::system::error_code& ec, std::size_t bytes) {
                                      handle_chunk_size_line(buffers, handler, ec, bytes);
                                  });
}

void http_stream::handle_chunk_size_line(const buffer_list& buffers, const read_handler& handler,
                                         const boost::system::error_code& ec, std::size_t bytes) {
    if (ec) {
        // A size line longer than any size line can be is garbage, also when
        // the connection ends before its line end.
        if (ec == boost::asio::error::not_found || response_buffer_.size() > max_chunk_size_line)
            return handler(make_error_code(invalid_chunked_encoding), 0);
        return handler(normalized(ec), 0);
    }
    if (bytes > max_chunk_size_line) return handler(make_error_code(invalid_chunked_encoding), 0);
    // A close or a new open empties the buffer under a read that had already
    // completed.
    if (bytes > response_buffer_.size()) return handler(boost::asio::error::operation_aborted, 0);
    std::string line(boost::asio::buffers_begin(response_buffer_.data()),
                     boost::asio::buffers_begin(response_buffer_.data()) + bytes);
    response_buffer_.consume(bytes);
    boost::system::error_code size_error;
    if (!take_chunk_size(line, size_error)) return handler(size_error, 0);
    if (chunk_remaining_ > 0) return start_read_some(buffers, handler);
    read_trailer(buffers, handler);
}

void http_stream::read_trailer(const buffer_list& buffers, const read_handler& handler) {
    // The trailer lines after the last chunk, up to the empty line, are taken
    // now, so the connection is ready for the next request.
    boost::asio::async_read_until(sock_, response_buffer_, "\r\n",
                                  [this, buffers, handler](const boost::system::error_code& ec, std::size_t bytes) {
                                      if (ec) {
                                          if (ec == boost::asio::error::not_found)
                                              return handler(make_error_code(invalid_chunked_encoding), 0);
                                          return handler(normalized(ec), 0);
                                      }
                                      bool empty = bytes == 2;
                                      response_buffer_.consume(bytes);
                                      if (!empty) return read_trailer(buffers, handler);
                                      last_chunk_read_ = true;
                                      start_read_some(buffers, handler);
                                  });
}

// ---------------------------------------------------------------- streambuf

http_stream::int_type http_stream::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (read_error_) {
        if (read_error_ == boost::asio::error::eof) return traits_type::eof();
        throw boost::system::system_error(read_error_);
    }
    boost::system::error_code ec;
    std::size_t n = read_some(boost::asio::buffer(get_area_ + 8, 8), ec);
    if (n == 0) return traits_type::eof();
    if (ec) read_error_ = ec;
    setg(get_area_, get_area_ + 8, get_area_ + 8 + n);
    return traits_type::to_int_type(*gptr());
}

}  // namespace dlhttp
