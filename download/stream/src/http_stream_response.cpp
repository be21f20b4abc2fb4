// The receiving half of the stream: status line and header block, framing of
// the body (chunked, gzip, length, keep-alive), cookies, the redirect step,
// the one body decoder and the three body read interfaces (read_some,
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
#include "dlhttp/text.h"

namespace dlhttp {

using detail::decimal;

namespace {

// A TLS peer that closes without close_notify, and a connection shut down,
// both end the input like an end of file (whether the body was complete
// then is judged by the decoder).
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

// Most bytes one fetch of body input asks for.
const std::size_t fetch_limit = 16 * 1024;

}  // namespace

boost::system::error_code http_stream::end_of_body() const {
    return keep_alive_ ? boost::system::error_code() : boost::system::error_code(boost::asio::error::eof);
}

uint64_t http_stream::body_bytes_left() const {
    if (body_length_ < 0) return std::numeric_limits<uint64_t>::max();
    uint64_t length = static_cast<uint64_t>(body_length_);
    return body_bytes_read_ >= length ? 0 : length - body_bytes_read_;
}

// ---------------------------------------------------------------- head

void http_stream::read_response_head(boost::system::error_code& ec) {
    bool done = false;
    response_buffer_.consume(response_buffer_.size());
    arm_deadline();
    read_status_line(operation{[&](const boost::system::error_code& result) {
                                   ec = result;
                                   done = true;
                               },
                               true});
    run_until(done);
}

void http_stream::read_status_line(const operation& op) {
    boost::asio::async_read_until(
        sock_, response_buffer_, "\r\n",
        [this, op](const boost::system::error_code& ec, std::size_t) { handle_status_line(op, ec); });
}

boost::system::error_code http_stream::take_status_line(const boost::system::error_code& read_error) {
    if (read_error == boost::asio::error::not_found) return make_error_code(malformed_status_line);
    if (read_error) return normalized(read_error);
    std::string text(boost::asio::buffers_begin(response_buffer_.data()),
                     boost::asio::buffers_begin(response_buffer_.data()) +
                         std::min<std::size_t>(response_buffer_.size(), max_head_size));
    std::stringbuf copy(text);
    int major = 0, minor = 0, status = 0;
    status_code_ = 0;
    bool parsed = detail::parse_status_line(std::istreambuf_iterator<char>(&copy), std::istreambuf_iterator<char>(),
                                            major, minor, status);
    status_code_ = status;
    persistent_by_default_ = major > 1 || (major == 1 && minor >= 1);
    if (!parsed) return make_error_code(malformed_status_line);
    response_buffer_.consume(text.size() - static_cast<std::size_t>(copy.in_avail()));
    return boost::system::error_code();
}

template <typename Stream>
void http_stream::read_interim_end(Stream& s, const open_handler& next) {
    // An interim response carries no header fields: the next line must be
    // the empty one, whenever its bytes arrive.
    boost::asio::async_read_until(
        s, response_buffer_, "\r\n", [this, next](const boost::system::error_code& ec, std::size_t bytes) {
            if (ec)
                return next(ec == boost::asio::error::not_found ? make_error_code(malformed_status_line)
                                                                : normalized(ec));
            if (bytes > response_buffer_.size()) return next(boost::asio::error::operation_aborted);
            if (bytes != 2) return next(make_error_code(malformed_status_line));
            response_buffer_.consume(2);
            next(boost::system::error_code());
        });
}

void http_stream::handle_status_line(const operation& op, const boost::system::error_code& ec) {
    boost::system::error_code result = take_status_line(ec);
    if (result) return complete(op, result);
    if (status_code_ == 100) {
        return read_interim_end(sock_, [this, op](const boost::system::error_code& ec) {
            if (ec) return complete(op, ec);
            if (user_request_options_.find(option_names::request_method) != "POST") return read_status_line(op);
            response_options_.clear();
            response_options_.insert(option_names::status_code, decimal(status_code_));
            complete(op, make_error_code(continue_request));
        });
    }
    response_options_.clear();
    response_options_.insert(option_names::status_code, decimal(status_code_));
    read_head_lines(
        sock_, std::make_shared<std::string>(),
        [this, op](const boost::system::error_code& ec, const std::string& head) {
            if (ec) return complete(op, ec);
            boost::system::error_code result;
            if (apply_head(head, op, result)) return;  // a redirect is followed
            complete(op, result);
        },
        op.blocking);
}

template <typename Stream>
void http_stream::read_head_lines(Stream& s, std::shared_ptr<std::string> head, const head_handler& next,
                                  bool blocking) {
    boost::asio::async_read_until(
        s, response_buffer_, "\r\n",
        [this, &s, head, next, blocking](const boost::system::error_code& ec, std::size_t bytes) {
            if (ec) {
                boost::system::error_code e = normalized(ec);
                // A full buffer without a line end, or the end of the
                // connection in the blocking form, makes the head malformed.
                if (e == boost::asio::error::not_found || (e == boost::asio::error::eof && blocking))
                    e = make_error_code(malformed_response_headers);
                return next(e, *head);
            }
            // A close or a new open empties the buffer; a read that had
            // already completed then finds less than it read.
            if (bytes > response_buffer_.size()) return next(boost::asio::error::operation_aborted, *head);
            head->append(boost::asio::buffers_begin(response_buffer_.data()),
                         boost::asio::buffers_begin(response_buffer_.data()) + bytes);
            response_buffer_.consume(bytes);
            if (head->size() > max_head_size) return next(make_error_code(malformed_response_headers), *head);
            // The empty line ends the block; the line before it may have
            // ended with a lone LF (which the header parser accepts), so the
            // line read last is then "...\n\r\n".
            bool ended = *head == "\r\n" || (head->size() >= 3 && head->compare(head->size() - 3, 3, "\n\r\n") == 0);
            if (ended) return next(boost::system::error_code(), *head);
            read_head_lines(s, head, next, blocking);
        });
}

void http_stream::tunnel_status_line(tcp_socket& s, const operation& op, const boost::system::error_code& ec) {
    boost::system::error_code result = take_status_line(ec);
    if (result) return complete(op, result);
    if (status_code_ == 100) {
        return read_interim_end(s, [this, &s, op](const boost::system::error_code& ec) {
            if (ec) return complete(op, ec);
            boost::asio::async_read_until(
                s, response_buffer_, "\r\n",
                [this, &s, op](const boost::system::error_code& ec, std::size_t) { tunnel_status_line(s, op, ec); });
        });
    }
    response_options_.clear();
    response_options_.insert(option_names::status_code, decimal(status_code_));
    read_head_lines(
        s, std::make_shared<std::string>(),
        [this, op](const boost::system::error_code& ec, const std::string& head) { tunnel_header(op, ec, head); },
        op.blocking);
}

void http_stream::tunnel_header(const operation& op, const boost::system::error_code& ec, const std::string& head) {
    if (ec) return complete(op, ec);
    response_buffer_.consume(response_buffer_.size());
    if (!detail::parse_header_block(head.data(), head.data() + head.size(), content_type_, content_length_, location_,
                                    response_options_))
        return complete(op, make_error_code(malformed_response_headers));
    if (status_code_ != 200) return complete(op, make_error_code(static_cast<http_error>(status_code_)));
    proxy_phase_ = phase_tls_handshake;
    tls_handshake(op);
}

bool http_stream::take_body_length() {
    // Every "Content-Length" must give the same length (RFC 7230 section
    // 3.3.2): an answer whose fields disagree, or one that is no length, is
    // refused, as its framing cannot be trusted.
    body_length_ = -1;
    for (const auto& entry : response_options_) {
        if (!detail::equals_ignore_case(entry.first, option_names::content_length)) continue;
        int64_t value = -1;
        if (!detail::parse_content_length(entry.second, value)) return false;
        if (body_length_ >= 0 && value != body_length_) return false;
        body_length_ = value;
    }
    return true;
}

bool http_stream::follow_redirect(const operation& op, bool named_location, boost::system::error_code& ec) {
    // A 301 or 302 without a Location names nothing to follow: it ends the
    // open with its status.
    bool redirect = (status_code_ == moved_permanently || status_code_ == found) && named_location;
    if (!redirect) {
        redirect_count_ = 0;
        return false;
    }
    boost::system::error_code ignored;
    sock_.close(ignored);
    ++redirect_count_;
    if (redirect_count_ > max_redirects_) {
        redirect_count_ = 0;
        return false;
    }
    // The target is escaped as the caller's URL is before it is parsed.
    boost::system::error_code parse_error;
    url target = url::from_string(escape_url_text(location_), parse_error);
    if (parse_error) {
        ec = make_error_code(invalid_redirect_address);
        return false;
    }
    start_open(target, op);
    return true;
}

bool http_stream::apply_head(const std::string& head, const operation& op, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    // location_ keeps the last Location of the open when this answer names
    // none (so after redirects it names the final target).
    std::string named;
    if (!detail::parse_header_block(head.data(), head.data() + head.size(), content_type_, content_length_, named,
                                    response_options_) ||
        !take_body_length()) {
        ec = make_error_code(malformed_response_headers);
        return false;
    }
    if (!named.empty()) location_ = resolve_reference(url_, named);
    // The cookies of every answer are kept, a redirect's too, for the host
    // and path that set them.
    for (const auto& entry : response_options_)
        if (detail::equals_ignore_case(entry.first, "set-cookie"))
            cookies_.add_line(entry.second, url_.host(), url_.path());

    if (follow_redirect(op, !named.empty(), ec)) return true;
    if (ec) return false;
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
    take_persistence();
    return false;
}

void http_stream::take_persistence() {
    // RFC 9112 section 9.3: "close" on either side ends the connection after
    // this answer; without it an HTTP/1.1 answer keeps the connection, an
    // HTTP/1.0 one only when it says "keep-alive".
    const std::string answer = response_options_.find(option_names::connection);
    if (request_options_.find(option_names::connection) == "close" || answer == "close")
        keep_alive_ = false;
    else if (!persistent_by_default_ && detail::to_lower(answer) != "keep-alive")
        keep_alive_ = false;
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

void http_stream::set_inflater_input(std::size_t count) {
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
        if (inflate_done_ || inflater_.avail_in == 0) break;
        std::size_t space = std::min<std::size_t>(b.size(), std::numeric_limits<uInt>::max());
        uInt input_before = inflater_.avail_in;
        inflater_.next_out = static_cast<Bytef*>(b.data());
        inflater_.avail_out = static_cast<uInt>(space);
        int result = inflate(&inflater_, Z_SYNC_FLUSH);
        std::size_t got = space - inflater_.avail_out;
        produced += got;
        if (result == Z_STREAM_END) {
            // Whatever follows the end of the compressed data is dropped.
            inflate_done_ = true;
            inflater_.avail_in = 0;
            break;
        }
        // Every other result but Z_OK and Z_BUF_ERROR is a failure, also the
        // positive Z_NEED_DICT (a preset dictionary, which no HTTP body can
        // name); and so is a step that makes no progress although input and
        // room remain: it would make none the next time either.
        bool progress = got > 0 || inflater_.avail_in != input_before;
        if ((result != Z_OK && result != Z_BUF_ERROR) || !progress) {
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

// ---------------------------------------------------------------- the decoder

void http_stream::wait_for_input(boost::system::error_code& ec, bool& need_more) const {
    if (!fetch_error_) {
        need_more = true;
        return;
    }
    // The input has ended. That ends a body that runs to the end of the
    // connection; any other body is cut short.
    if (fetch_error_ == boost::asio::error::eof && (chunked_ || body_length_ >= 0))
        ec = make_error_code(partial_message);
    else
        ec = fetch_error_;
}

bool http_stream::take_line(std::size_t limit, std::string& line, boost::system::error_code& ec, bool& need_more) {
    auto begin = boost::asio::buffers_begin(response_buffer_.data());
    auto end = boost::asio::buffers_end(response_buffer_.data());
    const char crlf[] = "\r\n";
    auto found = std::search(begin, end, crlf, crlf + 2);
    std::size_t length = found == end ? response_buffer_.size() : static_cast<std::size_t>(found - begin) + 2;
    if (length > limit || (found == end && length >= limit)) {
        ec = make_error_code(invalid_chunked_encoding);
        return false;
    }
    if (found == end) {
        wait_for_input(ec, need_more);
        return false;
    }
    line.assign(begin, begin + static_cast<std::ptrdiff_t>(length));
    response_buffer_.consume(length);
    return true;
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
    return true;
}

std::size_t http_stream::take_framed(const buffer_list& buffers, boost::system::error_code& ec, bool& need_more) {
    ec = boost::system::error_code();
    need_more = false;
    for (;;) {
        if (!chunked_ || chunk_phase_ == chunk_data) {
            uint64_t left = chunked_ ? chunk_remaining_ : body_bytes_left();
            if (left == 0) return ec = end_of_body(), 0;
            if (response_buffer_.size() == 0) return wait_for_input(ec, need_more), 0;
            std::size_t n = boost::asio::buffer_copy(limited(buffers, left), response_buffer_.data());
            response_buffer_.consume(n);
            if (!chunked_) {
                body_bytes_read_ += n;
            } else if ((chunk_remaining_ -= n) == 0) {
                chunk_phase_ = chunk_data_end;
            }
            return n;
        }
        std::string line;
        switch (chunk_phase_) {
        case chunk_data_end:
            // The line end after a chunk's data.
            if (response_buffer_.size() < 2) return wait_for_input(ec, need_more), 0;
            if (*boost::asio::buffers_begin(response_buffer_.data()) != '\r' ||
                *(boost::asio::buffers_begin(response_buffer_.data()) + 1) != '\n')
                return ec = make_error_code(invalid_chunked_encoding), 0;
            response_buffer_.consume(2);
            chunk_phase_ = chunk_size_line;
            break;
        case chunk_size_line:
            if (!take_line(max_chunk_size_line, line, ec, need_more) || !take_chunk_size(line, ec)) return 0;
            chunk_phase_ = chunk_remaining_ > 0 ? chunk_data : chunk_trailer;
            trailer_bytes_ = 0;
            break;
        case chunk_trailer:
            // After the last chunk: trailer lines up to the empty line, all
            // of them within the bound of a head. They are taken at once, so
            // the connection is ready for the next request.
            if (!take_line(max_head_size - trailer_bytes_, line, ec, need_more)) return 0;
            trailer_bytes_ += line.size();
            if (line == "\r\n") chunk_phase_ = chunk_done;
            break;
        case chunk_done: return ec = end_of_body(), 0;
        case chunk_data: break;
        }
    }
}

std::size_t http_stream::decode_body(const buffer_list& buffers, boost::system::error_code& ec, bool& need_more) {
    if (!gzip_) return take_framed(buffers, ec, need_more);
    ec = boost::system::error_code();
    need_more = false;
    for (;;) {
        if (!inflate_done_ && inflater_.avail_in > 0) {
            std::size_t produced = inflate_into(buffers, ec);
            if (ec || produced > 0) return produced;
            continue;  // the input was used up (or the stream ended)
        }
        std::size_t got = take_framed(buffer_list{boost::asio::buffer(inflate_input_)}, ec, need_more);
        if (need_more) return 0;
        if (got == 0) {
            // The body has ended. A gzip stream that had begun and did not
            // reach its end is cut short.
            if (!inflate_done_ && inflater_.total_in > 0 && (!ec || ec == boost::asio::error::eof))
                ec = make_error_code(partial_message);
            return 0;
        }
        if (!inflate_done_) set_inflater_input(got);  // else: dropped
    }
}

// ---------------------------------------------------------------- blocking body

http_stream::buffer_list http_stream::direct_buffers(const buffer_list& buffers) const {
    if (chunked_ || gzip_ || response_buffer_.size() > 0) return buffer_list();
    return limited(buffers, body_bytes_left());
}

std::size_t http_stream::fetch_size() const {
    return std::min(fetch_limit, response_buffer_.max_size() - response_buffer_.size());
}

std::size_t http_stream::read_some_list(const buffer_list& buffers, boost::system::error_code& ec) {
    ec = boost::system::error_code();
    if (boost::asio::buffer_size(buffers) == 0) return 0;
    for (;;) {
        bool need_more = false;
        std::size_t n = decode_body(buffers, ec, need_more);
        if (!need_more) return n;
        boost::system::error_code read_error;
        buffer_list direct = direct_buffers(buffers);
        if (!direct.empty()) {
            n = sock_.read_some(direct, read_error);
            body_bytes_read_ += n;
            if (n > 0) return n;
        } else {
            n = sock_.read_some(response_buffer_.prepare(fetch_size()), read_error);
            response_buffer_.commit(n);
        }
        if (read_error) fetch_error_ = normalized(read_error);
    }
}

// ---------------------------------------------------------------- asynchronous body

void http_stream::start_read_some(const buffer_list& buffers, const read_handler& handler) {
    const uint64_t generation = read_generation_;
    boost::system::error_code ec;
    bool need_more = false;
    std::size_t n = boost::asio::buffer_size(buffers) == 0 ? 0 : decode_body(buffers, ec, need_more);
    if (need_more) return fetch(buffers, handler, generation);
    // Ready at once: the handler runs from io_, and a close() before it runs
    // ends the read aborted, as a read on the connection would.
    boost::asio::post(io_, [this, handler, ec, n, generation]() {
        if (generation != read_generation_) return handler(boost::asio::error::operation_aborted, 0);
        handler(ec, n);
    });
}

void http_stream::read_step(const buffer_list& buffers, const read_handler& handler, uint64_t generation) {
    boost::system::error_code ec;
    bool need_more = false;
    std::size_t n = decode_body(buffers, ec, need_more);
    if (need_more) return fetch(buffers, handler, generation);
    handler(ec, n);
}

void http_stream::fetch(const buffer_list& buffers, const read_handler& handler, uint64_t generation) {
    buffer_list direct = direct_buffers(buffers);
    if (!direct.empty()) {
        return sock_.async_read_some(
            direct, [this, buffers, handler, generation](const boost::system::error_code& ec, std::size_t n) {
                if (generation != read_generation_) return handler(boost::asio::error::operation_aborted, 0);
                body_bytes_read_ += n;
                if (n > 0) return handler(boost::system::error_code(), n);
                if (ec) fetch_error_ = normalized(ec);
                read_step(buffers, handler, generation);
            });
    }
    sock_.async_read_some(response_buffer_.prepare(fetch_size()),
                          [this, buffers, handler, generation](const boost::system::error_code& ec, std::size_t n) {
                              // A close or a new open since the read began
                              // has emptied the buffer under it.
                              if (generation != read_generation_)
                                  return handler(boost::asio::error::operation_aborted, 0);
                              response_buffer_.commit(n);
                              if (ec) fetch_error_ = normalized(ec);
                              read_step(buffers, handler, generation);
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
