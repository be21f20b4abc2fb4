#pragma once

// One HTTP or HTTPS client connection over Boost.Asio: opening a URL (name
// resolution, connect, HTTP/SOCKS proxies, TLS with certificate checks),
// composing and writing requests, reading the response head and the body
// (chunked and gzip), cookies, 301/302 redirects and keep-alive reuse.
//
//   dlhttp::http_stream s(io);
//   s.request_options(options);          // "Range", "Connection", ...
//   s.async_open(url, [&](const boost::system::error_code& ec) { ... });
//   s.async_read_some(boost::asio::buffer(buf), handler);   // 0 bytes: end
//
// A status other than 200 and 206 is reported as the "HTTP" error whose value
// is the status (the head is applied all the same). Handlers are never called
// from inside the call that starts the operation. The blocking forms (open,
// request, read_some) work on the calling thread (open and request drive the
// stream's io_service until they are done); they must not be called while
// another thread runs that io_service.
//
// A whole open (resolve, connect, TLS, proxy exchange, request, response head
// and every redirect followed) ends within one time limit
// (handshake_timeout), and so does the request and head of every further
// request; reading the body has none, but close() may be called at any
// moment and ends every pending operation as operation_aborted.
//
// The end of a body is a read of 0 bytes: with success on a kept-alive
// connection, with end of file on one that closes. A connection that ends
// before the body does (short of its Content-Length, inside a chunked body or
// a gzip stream) ends the read with partial_message instead.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include <boost/asio/buffer.hpp>
#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/system/error_code.hpp>
#include <zlib.h>

#include "dlhttp/cookie.h"
#include "dlhttp/option_list.h"
#include "dlhttp/proxy_settings.h"
#include "dlhttp/url.h"
#include "dlhttp/variant_stream.h"

namespace dlhttp {

class http_stream : public std::streambuf, private boost::noncopyable {
public:
    typedef boost::function<void(const boost::system::error_code&)> open_handler;
    typedef boost::function<void(const boost::system::error_code&, std::size_t)> read_handler;
    typedef std::vector<boost::asio::mutable_buffer> buffer_list;

    // Most bytes of a response head (status line and header block), of the
    // trailer of a chunked body and of a chunk-size line; a longer one is
    // malformed.
    static constexpr std::size_t max_head_size = 64 * 1024;
    static constexpr std::size_t max_chunk_size_line = 1024;

    explicit http_stream(boost::asio::io_service& io);
    ~http_stream() override;

    // Blocking open: on return `ec` is success when the final response's head
    // has been read and its status is 200 or 206. Follows a 301 or 302 that
    // names a Location, up to max_redirects; a redirect target that is no URL
    // throws boost::system::system_error (invalid_argument).
    void open(const url& u, boost::system::error_code& ec);

    // Asynchronous open; `handler(const boost::system::error_code&)` is called
    // exactly once with what open() would store in `ec` (a redirect target
    // that is no URL: invalid_redirect_address).
    template <typename Handler>
    void async_open(const url& u, Handler handler) {
        begin_open(u, open_handler(handler), false);
    }

    // Closes the connection (ends every pending operation of the stream).
    // Keeps keep-alive, the option lists, the proxy, the URL and the cookies.
    void close(boost::system::error_code& ec);
    bool is_open();

    // Further request on the open connection: writes the request built from
    // `opts` and reads the response head.
    void request(const option_list& opts, boost::system::error_code& ec);
    template <typename Handler>
    void async_request(const option_list& opts, Handler handler) {
        begin_request(opts, open_handler(handler), false);
    }

    // Reads the status line and header block after a request was written
    // (under the time limit, as a request is).
    void read_response_head(boost::system::error_code& ec);

    // Body reads: the number of body bytes placed into the buffers; 0 at the
    // end of the body (success on a kept-alive connection, else end of file;
    // partial_message when the connection ended before the body did).
    // Failures: invalid_chunked_encoding, operation_not_supported (the gzip
    // data does not inflate), message_size (max_inflated_bytes), and
    // operation_aborted after close().
    template <typename MutableBuffers>
    std::size_t read_some(const MutableBuffers& buffers, boost::system::error_code& ec) {
        return read_some_list(to_buffer_list(buffers), ec);
    }
    // `handler(const boost::system::error_code&, std::size_t)`.
    template <typename MutableBuffers, typename Handler>
    void async_read_some(const MutableBuffers& buffers, Handler handler) {
        start_read_some(to_buffer_list(buffers), read_handler(handler));
    }

    // Settings; they take effect at the next open.
    void request_options(const option_list& options) { user_request_options_ = options; }
    void proxy(const ProxySettings& settings) { proxy_ = settings; }
    void check_certificate(bool check) { check_certificate_ = check; }
    void ca_directory(const std::string& directory) { ca_directory_ = directory; }
    void ca_file(const std::string& file) { ca_file_ = file; }
    void max_redirects(uint32_t count) { max_redirects_ = count; }
    // Time limit of a whole open and of a further request (default 30 s).
    void handshake_timeout(std::chrono::milliseconds limit) { handshake_timeout_ = limit; }
    // Most bytes one gzip body may inflate to (default 256 MiB); beyond it a
    // read fails with boost::asio::error::message_size.
    void max_inflated_bytes(int64_t limit) { max_inflated_bytes_ = limit; }

    // Results of the last open or request.
    option_list response_options() const { return response_options_; }
    const ProxySettings& proxy() const { return proxy_; }
    // The URL opened last; after redirects, the final target.
    const url& final_url() const { return url_; }
    // The last "Location" of this open or request, resolved against the URL
    // of its answer: after redirects that end in a 200 or 206, the final
    // target; empty when no answer named one.
    const std::string& location() const { return location_; }
    const std::string& content_type() const { return content_type_; }
    // "Content-Length" of the last response, -1 while unknown.
    int64_t content_length() const { return content_length_; }
    int status_code() const { return status_code_; }
    // The connection stays open after the last answer: neither side said
    // "close", and the answer is HTTP/1.1 (or later) or said "keep-alive".
    bool keep_alive() const { return keep_alive_; }
    // The last answer's body is chunked and has ended with its last chunk
    // and trailer: all of it arrived, although no length announced it.
    bool chunked_body_ended() const { return chunked_ && chunk_phase_ == chunk_done; }
    uint32_t redirect_count() const { return redirect_count_; }
    const cookie_jar& cookies() const { return cookies_; }
    boost::asio::io_service& get_io_service() { return io_; }

protected:
    int_type underflow() override;

private:
    // Lets the tests drive the connect loop with an endpoint list of their own.
    friend struct http_stream_test_access;

    template <typename MutableBuffers>
    static buffer_list to_buffer_list(const MutableBuffers& buffers) {
        buffer_list list;
        for (auto it = boost::asio::buffer_sequence_begin(buffers); it != boost::asio::buffer_sequence_end(buffers);
             ++it)
            if (boost::asio::mutable_buffer(*it).size() > 0) list.push_back(boost::asio::mutable_buffer(*it));
        return list;
    }
    typedef std::vector<boost::asio::ip::tcp::endpoint> endpoint_list;
    typedef boost::asio::ip::tcp::socket tcp_socket;

    // Runs io_ on this thread until `done` is set (the blocking forms).
    void run_until(const bool& done);
    // The one time limit of an open or a further request: armed when it
    // begins, disarmed at its end, whatever ends it.
    void arm_deadline();
    void disarm_deadline();
    void on_deadline(const boost::system::error_code& ec, uint64_t generation);
    // What every step of an open or request carries along: the caller's
    // handler, and whether the operation is a blocking one (open, request,
    // read_response_head), which a few steps report differently.
    struct operation {
        open_handler handler;
        bool blocking;
    };
    // Calls the handler of an open or request: ends the time limit and reports
    // an operation ended by it as timed_out.
    void complete(const operation& op, boost::system::error_code ec);
    // The same for a failure found before anything was started: the handler
    // runs from io_, never inside the call that began the operation.
    void complete_soon(const operation& op, const boost::system::error_code& ec);

    // Open and connection. begin_open arms the time limit; start_open is one
    // hop (the first one, or a redirect followed) under it.
    void begin_open(const url& u, const open_handler& handler, bool blocking);
    void start_open(const url& u, const operation& op);
    boost::system::error_code prepare_open(const url& u);
    boost::system::error_code setup_tls();
    void resolve(const std::string& host, const std::string& service,
                 const boost::function<void(const boost::system::error_code&, const endpoint_list&)>& next);
    void connect_direct(const operation& op);
    // Connects `s` to each endpoint in turn, closing it before each attempt;
    // with `handshake` the TLS handshake follows each TCP connect.
    static boost::system::error_code open_close_on_exec(tcp_socket& s, const boost::asio::ip::tcp& protocol);
    void connect_each(tcp_socket& s, std::shared_ptr<endpoint_list> endpoints, std::size_t index, bool handshake,
                      boost::system::error_code last, const open_handler& next);
    void tls_handshake(const operation& op);
    void connected(const operation& op);

    // Requests and the HTTP proxy tunnel. begin_request arms the time limit of
    // a further request; start_request writes a request under the limit of
    // the operation under way.
    void begin_request(const option_list& opts, const open_handler& handler, bool blocking);
    void start_request(const option_list& opts, const operation& op);
    boost::system::error_code compose_request(const option_list& opts, bool blocking);
    // Forgets everything of the previous response before a new one is read.
    void reset_response();
    bool in_clear_through_http_proxy() const;
    std::string proxy_authorization() const;
    void write_request(const operation& op);
    void http_proxy_tunnel(tcp_socket& s, const operation& op);
    void tunnel_connected(tcp_socket& s, const operation& op);
    void tunnel_status_line(tcp_socket& s, const operation& op, const boost::system::error_code& ec);
    void tunnel_header(const operation& op, const boost::system::error_code& ec, const std::string& head);

    // SOCKS 4 and 5.
    // Where an asynchronous proxy handshake stands (proxy_phase_): the step
    // that the next completion does.
    enum proxy_phase_value : int32_t {
        phase_resolving_proxy = 0,      // the proxy's name is resolved
        phase_connecting_proxy = 1,     // the proxy is connected to
        phase_request_written = 2,      // greeting or SOCKS 4 request written, reply to be read
        phase_resolving_target = 3,     // SOCKS 4: the URL's host is resolved
        phase_socks4_reply = 4,         // SOCKS 4 reply read
        phase_method_reply = 5,         // SOCKS 5 method reply read
        phase_auth_written = 6,         // user name and password written, reply to be read
        phase_connect_request = 7,      // SOCKS 5 connect request to be written
        phase_connect_written = 8,      // connect request written, reply to be read
        phase_auth_reply = 9,           // authentication reply read
        phase_connect_reply = 10,       // connect reply read
        phase_connect_reply_rest = 11,  // rest of a reply that names a domain or an IPv6 address
        phase_tls_handshake = 12,       // the tunnel stands: TLS handshake, then the request
    };

    void socks_proxy_open(tcp_socket& s, const operation& op);
    void socks_connected(tcp_socket& s, const operation& op);
    void socks_step(tcp_socket& s, const operation& op, const boost::system::error_code& ec);
    void socks_write(tcp_socket& s, const operation& op);
    void socks_read(tcp_socket& s, std::size_t n, const operation& op);
    boost::system::error_code socks5_connect_request();

    // Response head.
    typedef boost::function<void(const boost::system::error_code&, const std::string&)> head_handler;
    void read_status_line(const operation& op);
    void handle_status_line(const operation& op, const boost::system::error_code& ec);
    // After the read of a status line: its error (a line that does not fit
    // the buffer is malformed), or else parses the line at the front of
    // response_buffer_ into status_code_ and consumes it.
    boost::system::error_code take_status_line(const boost::system::error_code& read_error);
    // Reads the empty line that ends an interim (100) response, however the
    // bytes are split across segments.
    template <typename Stream>
    void read_interim_end(Stream& s, const open_handler& next);
    // Reads header lines up to the empty line; `next` gets the block.
    template <typename Stream>
    void read_head_lines(Stream& s, std::shared_ptr<std::string> head, const head_handler& next, bool blocking);
    // Applies a complete head; true when the open goes on with a redirect.
    bool apply_head(const std::string& head, const operation& op, boost::system::error_code& ec);
    // The body length that frames the body, from every "Content-Length".
    bool take_body_length();
    // Whether the connection stays open after this answer (keep_alive_), from
    // the answer's version and both sides' "Connection".
    void take_persistence();
    // True when the answer is a redirect that is followed (and starts it);
    // only an answer that names a Location is.
    bool follow_redirect(const operation& op, bool named_location, boost::system::error_code& ec);

    // Body. One decoder (framing: length, read to the end, chunked with its
    // trailer; content: gzip) works on the bytes in response_buffer_; the
    // blocking and the asynchronous read differ only in how they fetch more
    // bytes into it when the decoder asks for them.
    enum chunk_phase { chunk_size_line, chunk_data, chunk_data_end, chunk_trailer, chunk_done };
    // Decodes into `buffers`: the bytes produced, or 0 with `ec` at the end
    // of the body or on a failure, or 0 with `need_more` set when more input
    // is needed first.
    std::size_t decode_body(const buffer_list& buffers, boost::system::error_code& ec, bool& need_more);
    std::size_t take_framed(const buffer_list& buffers, boost::system::error_code& ec, bool& need_more);
    bool take_line(std::size_t limit, std::string& line, boost::system::error_code& ec, bool& need_more);
    bool take_chunk_size(const std::string& line, boost::system::error_code& ec);
    void wait_for_input(boost::system::error_code& ec, bool& need_more) const;
    boost::system::error_code end_of_body() const;
    // Body bytes still to come of a body of known length.
    uint64_t body_bytes_left() const;
    // The caller's buffers, limited to the body, when the next body bytes may
    // be read into them straight from the connection (a plain body with
    // nothing buffered); else empty.
    buffer_list direct_buffers(const buffer_list& buffers) const;
    std::size_t fetch_size() const;
    std::size_t read_some_list(const buffer_list& buffers, boost::system::error_code& ec);
    void start_read_some(const buffer_list& buffers, const read_handler& handler);
    void read_step(const buffer_list& buffers, const read_handler& handler, uint64_t generation);
    void fetch(const buffer_list& buffers, const read_handler& handler, uint64_t generation);
    bool start_inflater();
    void end_inflater();
    std::size_t inflate_into(const buffer_list& buffers, boost::system::error_code& ec);
    void set_inflater_input(std::size_t count);

    boost::asio::io_service& io_;
    boost::asio::ip::tcp::resolver resolver_;
    detail::variant_stream sock_;
    tcp_socket tunnel_socket_;
    bool check_certificate_ = true;
    std::string ca_directory_;
    std::string ca_file_;
    option_list request_options_;
    option_list user_request_options_;
    option_list response_options_;
    ProxySettings proxy_;
    int32_t proxy_phase_ = phase_resolving_proxy;
    boost::asio::ip::tcp::endpoint proxy_target_;
    std::string protocol_;
    url url_;
    bool keep_alive_ = true;
    // The last status line's version keeps a connection without saying so
    // (HTTP/1.1 and later).
    bool persistent_by_default_ = true;
    int32_t status_code_ = -1;
    uint32_t redirect_count_ = 0;
    uint32_t max_redirects_ = 5;
    std::string content_type_;
    int64_t content_length_ = 0;
    // Length of the body as its "Content-Length" field gives it, -1 when
    // absent. content_length_ may hold the total size of a ranged answer
    // instead, so the end of a body is judged by this one.
    int64_t body_length_ = -1;
    uint64_t body_bytes_read_ = 0;
    std::string location_;
    boost::asio::streambuf request_buffer_;
    boost::asio::streambuf response_buffer_;
    z_stream inflater_;
    char inflate_input_[1024];
    bool inflate_done_ = false;
    int64_t inflated_bytes_ = 0;
    int64_t max_inflated_bytes_ = int64_t(256) * 1024 * 1024;
    bool gzip_ = false;
    bool chunked_ = false;
    chunk_phase chunk_phase_ = chunk_size_line;
    uint64_t chunk_remaining_ = 0;
    // Bytes of the trailer read so far; the trailer is bounded like a head.
    std::size_t trailer_bytes_ = 0;
    // How the last fetch of body bytes ended (end of file, a failure); the
    // decoder judges it once the bytes before it are used up.
    boost::system::error_code fetch_error_;
    // Raised by close() and by every open: a read step queued before it ends
    // as operation_aborted instead of touching the new state.
    uint64_t read_generation_ = 0;
    char get_area_[16];
    boost::system::error_code read_error_;
    cookie_jar cookies_;

    boost::asio::steady_timer deadline_;
    std::chrono::milliseconds handshake_timeout_{30000};
    uint64_t deadline_generation_ = 0;
    bool timed_out_ = false;
    // Cleared by the destructor: completions of the deadline timer that run
    // after it (cancelled) must not touch the stream.
    std::shared_ptr<bool> alive_;
};

}  // namespace dlhttp
