#pragma once
// Drives a dlhttp::http_stream to the end of an operation in a test, in the
// blocking or the asynchronous form, and checks on the way that no handler is
// called from inside the call that starts its operation.
#include "dlhttp/http_stream.h"

#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>

#include <QString>
#include <QTest>

#include <string>

#include <zlib.h>

namespace streamtest {

// `text` deflated with zlib's `windowBits` (31: a gzip member, what a server
// sends for "Content-Encoding: gzip"; 15: a zlib stream), with a preset
// dictionary when one is given.
inline std::string deflated(const std::string& text, int windowBits, const std::string& dictionary = std::string()) {
    z_stream z = z_stream();
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    if (!dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                             static_cast<uInt>(dictionary.size()));
    std::string out(deflateBound(&z, text.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// `text` as a gzip member.
inline std::string gzipped(const std::string& text) { return deflated(text, 31); }

struct Opened {
    boost::system::error_code ec;
    bool calledInside = false;  // the handler ran before async_open returned
    int calls = 0;
};

inline void runIo(boost::asio::io_context& io, const bool& done) {
    while (!done) {
        if (io.stopped()) io.restart();
        if (io.run_one() == 0 && !done) break;
    }
    io.restart();
}

// Starts an asynchronous operation with `start(handler)` and runs `io` until
// its handler has run, noting whether it ran inside the starting call.
template <typename Start>
Opened runAsync(boost::asio::io_context& io, Start start) {
    Opened result;
    bool returned = false;
    bool done = false;
    start([&](const boost::system::error_code& ec) {
        if (!returned) result.calledInside = true;
        ++result.calls;
        result.ec = ec;
        done = true;
    });
    returned = true;
    runIo(io, done);
    return result;
}

inline Opened open(boost::asio::io_context& io, dlhttp::http_stream& s, const std::string& url, bool async) {
    if (async) return runAsync(io, [&](auto handler) { s.async_open(dlhttp::url(url), handler); });
    Opened result;
    s.open(dlhttp::url(url), result.ec);
    result.calls = 1;
    return result;
}

inline Opened request(boost::asio::io_context& io, dlhttp::http_stream& s, const dlhttp::option_list& options,
                      bool async) {
    if (async) return runAsync(io, [&](auto handler) { s.async_request(options, handler); });
    Opened result;
    s.request(options, result.ec);
    result.calls = 1;
    return result;
}

struct Body {
    std::string bytes;
    boost::system::error_code ec;  // of the read that ended the body
    bool calledInside = false;
};

// Reads the body to its end (a read of 0 bytes, or an error), in pieces of
// `chunk` bytes.
inline Body readBody(boost::asio::io_context& io, dlhttp::http_stream& s, bool async, std::size_t chunk = 7) {
    Body body;
    std::string buf(chunk, '\0');
    for (int guard = 0; guard < 1000000; ++guard) {
        std::size_t n = 0;
        boost::system::error_code ec;
        if (!async) {
            n = s.read_some(boost::asio::buffer(&buf[0], buf.size()), ec);
        } else {
            bool returned = false;
            bool done = false;
            s.async_read_some(boost::asio::buffer(&buf[0], buf.size()),
                              [&](const boost::system::error_code& e, std::size_t got) {
                                  if (!returned) body.calledInside = true;
                                  ec = e;
                                  n = got;
                                  done = true;
                              });
            returned = true;
            runIo(io, done);
        }
        body.bytes.append(buf.data(), n);
        if (n == 0 || ec) {
            body.ec = ec;
            return body;
        }
    }
    return body;
}

inline const char* formName(bool async) { return async ? "async" : "blocking"; }

// Adds the data row "<name>, <form>" with the form as its first column; the
// caller streams the other columns.
inline QTestData& formRow(const QString& name, bool async) {
    return QTest::newRow(qPrintable(QString("%1, %2").arg(name, formName(async)))) << async;
}

// Asks for a kept-alive connection (or, with `keep` false, for its close) on
// the stream's requests and returns those options for a later request().
inline dlhttp::option_list askConnection(dlhttp::http_stream& s, bool keep = true) {
    dlhttp::option_list options;
    options.insert("Connection", keep ? "keep-alive" : "close");
    s.request_options(options);
    return options;
}

}  // namespace streamtest
