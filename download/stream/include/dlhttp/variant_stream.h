#pragma once

// Holds the connection of one open: a plain TCP socket, a TLS stream over the
// http_stream's tunnel socket, or nothing. Dispatches every operation to the
// alternative it holds, so it can serve as the stream of asio's composed
// operations (read until, read exactly, write all).

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/noncopyable.hpp>

#include "dlhttp/ssl_stream.h"

namespace dlhttp {
namespace detail {

class variant_stream : private boost::noncopyable {
public:
    typedef boost::asio::ip::tcp::socket::executor_type executor_type;

    explicit variant_stream(boost::asio::io_context& io) : io_(io) {}

    // 0 plain socket, 1 TLS stream, 2 nothing.
    int index() const { return plain_ ? 0 : (tls_ ? 1 : 2); }

    // Installing an alternative deletes the one held before (a plain socket is
    // closed with it; the tunnel socket under a TLS stream is left as it is).
    void install_plain() {
        ended_ = false;
        tls_.reset();
        plain_.reset(new boost::asio::ip::tcp::socket(io_));
    }
    ssl_stream& install_tls(boost::asio::ip::tcp::socket& tunnel, std::shared_ptr<tls_context> context) {
        ended_ = false;
        plain_.reset();
        tls_.reset(new ssl_stream(tunnel, std::move(context)));
        return *tls_;
    }
    ssl_stream* tls() { return tls_.get(); }

    executor_type get_executor() { return executor_type(io_.get_executor()); }

    // The TCP socket at the bottom, or null when nothing is held.
    boost::asio::ip::tcp::socket* lowest_layer() {
        if (plain_) return plain_.get();
        if (tls_) return &tls_->socket();
        return nullptr;
    }

    bool is_open() {
        boost::asio::ip::tcp::socket* s = lowest_layer();
        return s && s->is_open();
    }

    // Closes the TCP socket at the bottom (no TLS shutdown).
    void close(boost::system::error_code& ec) {
        ec = boost::system::error_code();
        if (boost::asio::ip::tcp::socket* s = lowest_layer()) s->close(ec);
    }

    template <typename Option>
    void set_option(const Option& option, boost::system::error_code& ec) {
        if (boost::asio::ip::tcp::socket* s = lowest_layer())
            s->set_option(option, ec);
        else
            ec = boost::asio::error::bad_descriptor;
    }

    template <typename Buffers>
    std::size_t read_some(const Buffers& buffers, boost::system::error_code& ec) {
        std::size_t n = 0;
        if (ended_)
            ec = boost::asio::error::eof;
        else if (plain_)
            n = plain_->read_some(buffers, ec);
        else if (tls_)
            n = tls_->stream().read_some(buffers, ec);
        else
            ec = boost::asio::error::bad_descriptor;
        note_end(ec);
        return n;
    }

    template <typename Buffers>
    std::size_t write_some(const Buffers& buffers, boost::system::error_code& ec) {
        if (plain_) return plain_->write_some(buffers, ec);
        if (tls_) return tls_->stream().write_some(buffers, ec);
        ec = boost::asio::error::bad_descriptor;
        return 0;
    }

    // Once the peer has ended the connection, further reads end at once: a
    // second wait for the end would never be woken (edge-triggered reactor).
    template <typename Buffers, typename Handler>
    void async_read_some(const Buffers& buffers, Handler&& handler) {
        if (ended_) return post_failure(std::forward<Handler>(handler), boost::asio::error::eof);
        typename std::decay<Handler>::type h(std::forward<Handler>(handler));
        auto watch = [this, h = std::move(h)](const boost::system::error_code& ec, std::size_t n) mutable {
            note_end(ec);
            h(ec, n);
        };
        if (plain_) return plain_->async_read_some(buffers, std::move(watch));
        if (tls_) return tls_->stream().async_read_some(buffers, std::move(watch));
        post_failure(std::move(watch));
    }

    template <typename Buffers, typename Handler>
    void async_write_some(const Buffers& buffers, Handler&& handler) {
        if (plain_) return plain_->async_write_some(buffers, std::forward<Handler>(handler));
        if (tls_) return tls_->stream().async_write_some(buffers, std::forward<Handler>(handler));
        post_failure(std::forward<Handler>(handler));
    }

private:
    template <typename Handler>
    void post_failure(Handler&& handler, boost::system::error_code ec = boost::asio::error::bad_descriptor) {
        typename std::decay<Handler>::type h(std::forward<Handler>(handler));
        boost::asio::post(io_, [h = std::move(h), ec]() mutable { h(ec, 0); });
    }
    void note_end(const boost::system::error_code& ec) {
        if (ec == boost::asio::error::eof || ec == boost::asio::error::shut_down ||
            ec == boost::asio::ssl::error::stream_truncated)
            ended_ = true;
    }

    boost::asio::io_context& io_;
    std::unique_ptr<boost::asio::ip::tcp::socket> plain_;
    std::unique_ptr<ssl_stream> tls_;
    bool ended_ = false;  // the peer has ended the connection
};

}  // namespace detail
}  // namespace dlhttp
