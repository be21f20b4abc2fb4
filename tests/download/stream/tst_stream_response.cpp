// Reading responses with scripted servers on 127.0.0.1: interim and error
// heads, chunked and gzip bodies, the end of a body on kept-alive and closing
// connections, relative redirect targets, and misbehaving servers (silence,
// endless heads, broken or huge chunk sizes, a gzip bomb), in the blocking and
// the asynchronous form.
#include "ScriptedServer.h"
#include "StreamTestUtil.h"

#include "dlhttp/http_error.h"
#include "dlhttp/http_stream.h"

#include <boost/asio/post.hpp>

#include <QtTest>

#include <chrono>
#include <istream>
#include <thread>

using streamtest::formName;
using streamtest::formRow;

namespace dlhttp {
// Reaches the stream's connect loop, so a test can hand it an endpoint list
// (no name here resolves to both ::1 and 127.0.0.1).
struct http_stream_test_access {
    static boost::system::error_code connectEach(boost::asio::io_context& io, http_stream& s,
                                                 const std::vector<boost::asio::ip::tcp::endpoint>& endpoints) {
        s.sock_.install_plain();
        bool done = false;
        boost::system::error_code result;
        s.connect_each(*s.sock_.lowest_layer(), std::make_shared<http_stream::endpoint_list>(endpoints), 0, false,
                       boost::asio::error::not_found, [&](const boost::system::error_code& ec) {
                           result = ec;
                           done = true;
                       });
        streamtest::runIo(io, done);
        return result;
    }
};
}  // namespace dlhttp

namespace {

// Reads one request head and writes `reply`; then closes the connection, as a
// server does when the request asked for "Connection: close" (or `close` is
// set), else keeps it until the peer closes.
ScriptedServer::Script reply(const std::string& bytes, bool close = false) {
    return [bytes, close](ScriptedServer::Connection& c) {
        std::string head = c.readHead();
        c.write(bytes);
        if (close || head.find("Connection: keep-alive\r\n") == std::string::npos) return;
        c.readToEnd();
    };
}

std::string chunked(const std::string& body, std::size_t piece) {
    std::string out;
    char size[32];
    for (std::size_t i = 0; i < body.size(); i += piece) {
        std::size_t n = std::min(piece, body.size() - i);
        snprintf(size, sizeof size, "%zx\r\n", n);
        out += size + body.substr(i, n) + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// `text` as a zlib stream that needs a preset dictionary to inflate.
std::string deflatedWithDictionary(const std::string& text) { return streamtest::deflated(text, 15, "line of text"); }

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void addForms() {
    QTest::addColumn<bool>("async");
    QTest::newRow("blocking") << false;
    QTest::newRow("async") << true;
}

}  // namespace

class TestStreamResponse : public QObject {
    Q_OBJECT

private slots:
    void interimResponse_data();
    void interimResponse();
    void errorStatusKeepsHead_data() { addForms(); }
    void errorStatusKeepsHead();
    void unknownStatusIsItsOwnError_data() { addForms(); }
    void unknownStatusIsItsOwnError();
    void chunkedBody_data();
    void chunkedBody();
    void chunkedThenNextRequest_data() { addForms(); }
    void chunkedThenNextRequest();
    void badChunks_data();
    void badChunks();
    void gzipBody_data();
    void gzipBody();
    void gzipBomb_data() { addForms(); }
    void gzipBomb();
    void gzipNeedsDictionary_data() { addForms(); }
    void gzipNeedsDictionary();
    void bodyCutShort_data();
    void bodyCutShort();
    void contentLengthMustAgree_data();
    void contentLengthMustAgree();
    void headsAcrossSegments_data();
    void headsAcrossSegments();
    void trailerBound_data();
    void trailerBound();
    void headLimits_data();
    void headLimits();
    void silentServer_data();
    void silentServer();
    void relativeLocation_data();
    void relativeLocation();
    void invalidRedirectTarget();
    void rangedBodyEndsAtItsLength_data() { addForms(); }
    void rangedBodyEndsAtItsLength();
    void readAfterCutHead_data() { addForms(); }
    void readAfterCutHead();
    void framingFieldsAreExact_data() { addForms(); }
    void framingFieldsAreExact();
    void persistence_data();
    void persistence();
    void bodyThroughIstream();
    void closeDuringBodyRead();
    void closeUnderQueuedStep_data();
    void closeUnderQueuedStep();
    void closeAndReopen_data() { addForms(); }
    void closeAndReopen();
    void connectClosesBetweenEndpoints();
    void badScheme_data() { addForms(); }
    void badScheme();
};

void TestStreamResponse::interimResponse_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("interim");
    QTest::addColumn<int>("expected");
    for (bool async : {false, true}) {
        QTest::newRow(formName(async)) << async << "GET"
                                       << "HTTP/1.1 100 Continue\r\n\r\n"
                                       << 0;
        formRow("POST", async) << "POST"
                               << "HTTP/1.1 100 Continue\r\n\r\n"
                               << int(dlhttp::continue_request);
        formRow("field after 100", async) << "GET"
                                          << "HTTP/1.1 100 Continue\r\nX: y\r\n\r\n"
                                          << int(dlhttp::malformed_status_line);
    }
}

void TestStreamResponse::interimResponse() {
    QFETCH(bool, async);
    QFETCH(QString, method);
    QFETCH(QString, interim);
    QFETCH(int, expected);
    ScriptedServer server(reply(interim.toStdString() + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    dlhttp::option_list options;
    options.insert("_request_method", method.toStdString());
    s.request_options(options);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/c"), async);
    QCOMPARE(opened.ec.value(), expected);
    if (expected == 0) {
        QCOMPARE(s.response_options().find("_status_code"), std::string("200"));
        QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("ok"));
    } else if (expected == dlhttp::continue_request) {
        QCOMPARE(s.response_options().find("_status_code"), std::string("100"));
    }
}

void TestStreamResponse::errorStatusKeepsHead() {
    QFETCH(bool, async);
    ScriptedServer server(
        reply("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nSet-Cookie: sid=abc; Path=/\r\nConnection: "
              "close\r\n\r\nnot here!"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/missing"), async);
    QCOMPARE(opened.ec, make_error_code(dlhttp::not_found));
    QVERIFY(!opened.calledInside);
    QCOMPARE(s.content_length(), int64_t(9));
    QCOMPARE(s.cookies().size(), std::size_t(1));
    QCOMPARE(s.status_code(), 404);
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("not here!"));
}

// A status outside the category's named values (a fuzzer sent 2000) is still
// reported as the error whose value is that status.
void TestStreamResponse::unknownStatusIsItsOwnError() {
    QFETCH(bool, async);
    ScriptedServer server(reply("HTTP/1.1 2000 Odd\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/odd"), async);
    QCOMPARE(opened.ec.value(), 2000);
    QCOMPARE(&opened.ec.category(), &dlhttp::http_category());
    QCOMPARE(s.status_code(), 2000);
}

void TestStreamResponse::chunkedBody_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("sizeLine");
    QTest::addColumn<bool>("keepAlive");
    for (bool async : {false, true}) {
        for (const char* line : {"1a", "1A;name=value", " 1a", "001a"}) formRow(line, async) << line << true;
        formRow("closing", async) << "1a" << false;
    }
}

void TestStreamResponse::chunkedBody() {
    QFETCH(bool, async);
    QFETCH(QString, sizeLine);
    QFETCH(bool, keepAlive);
    const std::string data = "abcdefghijklmnopqrstuvwxyz";
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + sizeLine.toStdString() +
                                "\r\n" + data + "\r\n5\r\n12345\r\n0\r\n\r\n"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s, keepAlive);
    QCOMPARE(streamtest::open(io, s, server.url("/chunks"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 4);
    QCOMPARE(body.bytes, data + "12345");
    QVERIFY(!body.calledInside);
    // The end: a clean 0 on a kept-alive connection, end of file otherwise;
    // reading again reports it again.
    boost::system::error_code end = keepAlive ? boost::system::error_code() : boost::asio::error::eof;
    QCOMPARE(body.ec, end);
    QCOMPARE(streamtest::readBody(io, s, async).ec, end);
}

void TestStreamResponse::chunkedThenNextRequest() {
    QFETCH(bool, async);
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.readHead();
        c.write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\none\r\n0\r\nX-Trailer: t\r\n\r\n");
        c.readHead();
        c.write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo");
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    const dlhttp::option_list options = streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/a"), async).ec, boost::system::error_code());
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("one"));
    // The trailer and the final line end were taken with the last chunk: the
    // next response on the connection is read from its status line.
    QCOMPARE(streamtest::request(io, s, options, async).ec, boost::system::error_code());
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("two"));
}

void TestStreamResponse::badChunks_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("good");
    const std::pair<const char*, const char*> cases[] = {
        {"zz\r\nabc\r\n0\r\n\r\n", ""},                 // no number
        {"\r\n", ""},                                   // empty size line
        {"3\r\nabc\r\nFFFFFFFFFFFFFFFFFF\r\n", "abc"},  // beyond 64 bits
        {"3\r\nabcXY4\r\nabcd\r\n0\r\n\r\n", "abc"},    // no line end after the data
        {"3\r\nabcX\n0\r\n\r\n", "abc"},                // another byte and LF in place of CRLF
        {"3\r\nabc\n\n0\r\n\r\n", "abc"},               // LF and LF in place of CRLF
        {"3\r\nabc\r\n8000000000000000\r\n", "abc"},    // beyond any body
    };
    for (bool async : {false, true})
        for (const auto& c : cases)
            formRow(QString(c.first).toUtf8().toPercentEncoding(), async) << c.first << c.second;
    // A size line that never ends.
    for (bool async : {false, true}) formRow("endless size line", async) << QString(4000, '1') << "";
}

void TestStreamResponse::badChunks() {
    QFETCH(bool, async);
    QFETCH(QString, body);
    QFETCH(QString, good);
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + body.toStdString()));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/bad"), async).ec, boost::system::error_code());
    streamtest::Body read = streamtest::readBody(io, s, async, 64);
    QCOMPARE(read.bytes, good.toStdString());
    QCOMPARE(read.ec, make_error_code(dlhttp::invalid_chunked_encoding));
}

void TestStreamResponse::gzipBody_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("isChunked");
    QTest::addColumn<bool>("keepAlive");
    for (bool async : {false, true})
        for (bool isChunked : {false, true})
            for (bool keepAlive : {false, true})
                formRow(QString("%1, %2").arg(isChunked ? "chunked" : "length", keepAlive ? "kept" : "closing"), async)
                    << isChunked << keepAlive;
}

void TestStreamResponse::gzipBody() {
    QFETCH(bool, async);
    QFETCH(bool, isChunked);
    QFETCH(bool, keepAlive);
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    std::string packed = streamtest::gzipped(text);
    std::string framing = isChunked ? "Transfer-Encoding: chunked\r\n\r\n" + chunked(packed, 700)
                                    : "Content-Length: " + std::to_string(packed.size()) + "\r\n\r\n" + packed;
    std::string response = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n" + framing;
    // Two responses on one connection: the second gzip body starts the
    // inflater afresh.
    ScriptedServer server([&](ScriptedServer::Connection& c) {
        for (int i = 0; i < 2; ++i) {
            if (c.readHead().empty()) return;
            c.write(response);
        }
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    const dlhttp::option_list options = streamtest::askConnection(s, keepAlive);
    QCOMPARE(streamtest::open(io, s, server.url("/z"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 1000);
    QCOMPARE(body.bytes.size(), text.size());
    QVERIFY(body.bytes == text);
    if (!keepAlive) return;
    QCOMPARE(body.ec, boost::system::error_code());
    QCOMPARE(streamtest::request(io, s, options, async).ec, boost::system::error_code());
    QVERIFY(streamtest::readBody(io, s, async, 333).bytes == text);
}

void TestStreamResponse::gzipBomb() {
    QFETCH(bool, async);
    std::string packed = streamtest::gzipped(std::string(16 * 1024 * 1024, '\0'));
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                    std::to_string(packed.size()) + "\r\n\r\n" + packed,
                                true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.max_inflated_bytes(1024 * 1024);
    QCOMPARE(streamtest::open(io, s, server.url("/bomb"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 64 * 1024);
    QCOMPARE(body.ec, boost::system::error_code(boost::asio::error::message_size));
    QVERIFY(body.bytes.size() <= 1024 * 1024);
}

// zlib's Z_NEED_DICT is positive: it must end the read like any other inflate
// failure instead of making it spin (blocking) or never end (async).
void TestStreamResponse::gzipNeedsDictionary() {
    QFETCH(bool, async);
    std::string packed = deflatedWithDictionary("line of text, line of text, line of text");
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                                    std::to_string(packed.size()) + "\r\n\r\n" + packed,
                                true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/dict"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 64);
    QCOMPARE(body.ec, boost::system::error_code(boost::asio::error::operation_not_supported));
    QCOMPARE(body.bytes, std::string());
}

void TestStreamResponse::bodyCutShort_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("framing");  // head fields and the body bytes sent before the close
    QTest::addColumn<QString>("good");
    QTest::addColumn<int>("expected");  // 0: end of file
    const std::string packed = streamtest::gzipped(std::string(5000, 'x') + "tail");
    const QString halfGzip =
        QString::fromLatin1(packed.substr(0, packed.size() / 2).data(), static_cast<int>(packed.size() / 2));
    const int partial = dlhttp::partial_message;
    for (bool async : {false, true}) {
        formRow("short of its length", async) << "Content-Length: 10\r\n\r\nabc"
                                              << "abc" << partial;
        formRow("inside a chunk", async) << "Transfer-Encoding: chunked\r\n\r\n5\r\nab"
                                         << "ab" << partial;
        formRow("before the last chunk", async) << "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"
                                                << "abc" << partial;
        formRow("inside a gzip stream", async) << "Content-Encoding: gzip\r\n\r\n" + halfGzip << "" << partial;
        // Complete bodies end with end of file as before.
        formRow("complete length", async) << "Content-Length: 3\r\n\r\nabc"
                                          << "abc" << 0;
        formRow("to the end of the connection", async) << "\r\nabc"
                                                       << "abc" << 0;
    }
}

// A body cut off by the end of the connection is told apart from a complete
// one by its own error.
void TestStreamResponse::bodyCutShort() {
    QFETCH(bool, async);
    QFETCH(QString, framing);
    QFETCH(QString, good);
    QFETCH(int, expected);
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\n" + framing.toLatin1().toStdString(), true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/cut"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 64);
    std::string want = good.toStdString();
    QCOMPARE(body.bytes.substr(0, want.size()), want);
    if (expected == 0)
        QCOMPARE(body.ec, boost::system::error_code(boost::asio::error::eof));
    else
        QCOMPARE(body.ec, make_error_code(dlhttp::partial_message));
}

void TestStreamResponse::contentLengthMustAgree_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("accepted");
    for (bool async : {false, true}) {
        formRow("two that differ", async) << "Content-Length: 3\r\nContent-Length: 5\r\n" << false;
        formRow("two that agree", async) << "Content-Length: 3\r\ncontent-length: 3\r\n" << true;
        formRow("no number", async) << "Content-Length: 3x\r\n" << false;
        formRow("negative", async) << "Content-Length: -1\r\n" << false;
    }
}

// Fields that disagree on the length of the body make its framing unknown:
// the answer is refused (RFC 7230 section 3.3.2).
void TestStreamResponse::contentLengthMustAgree() {
    QFETCH(bool, async);
    QFETCH(QString, fields);
    QFETCH(bool, accepted);
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\n" + fields.toStdString() + "\r\nabcde", true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/len"), async);
    if (!accepted) {
        QCOMPARE(opened.ec, make_error_code(dlhttp::malformed_response_headers));
        return;
    }
    QCOMPARE(opened.ec, boost::system::error_code());
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("abc"));
}

void TestStreamResponse::headsAcrossSegments_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QStringList>("pieces");  // written one after the other, with a pause between
    const QString rest = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    for (bool async : {false, true}) {
        formRow("100 Continue, then its empty line", async) << QStringList{"HTTP/1.1 100 Continue\r\n", "\r\n" + rest};
        formRow("100 Continue split in its line end", async)
            << QStringList{"HTTP/1.1 100 Continue\r", "\n\r", "\n" + rest};
        formRow("status line split", async) << QStringList{"HTTP/1.1 2", "00 OK\r\nContent-Length: 2\r\n\r\nok"};
        formRow("split before the empty line", async)
            << QStringList{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n", "\r\nok"};
        formRow("split inside the empty line", async)
            << QStringList{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r", "\nok"};
        // The header parser takes a lone LF as a line end; the empty line
        // right after it ends the head as well.
        formRow("lone LF before the empty line", async) << QStringList{"HTTP/1.1 200 OK\r\nContent-Length: 2\n\r\nok"};
        formRow("lone LF, then a split", async)
            << QStringList{"HTTP/1.1 200 OK\r\nX: y\nContent-Length: 2\n", "\r\nok"};
    }
}

// The server keeps the connection open: a head that is not seen to end would
// wait for the time limit.
void TestStreamResponse::headsAcrossSegments() {
    QFETCH(bool, async);
    QFETCH(QStringList, pieces);
    ScriptedServer server([pieces](ScriptedServer::Connection& c) {
        c.readHead();
        for (int i = 0; i < pieces.size(); ++i) {
            if (i > 0) pause(50);
            c.write(pieces[i].toStdString());
        }
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.handshake_timeout(std::chrono::seconds(3));
    streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/seg"), async).ec, boost::system::error_code());
    QCOMPARE(s.status_code(), 200);
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("ok"));
}

void TestStreamResponse::trailerBound_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("accepted");
    for (bool async : {false, true}) {
        formRow("one long line", async) << 4000 << 1 << true;
        formRow("many lines within a head", async) << 100 << 500 << true;
        formRow("more than a head", async) << 100 << 2000 << false;
        formRow("one line longer than a head", async) << 70000 << 1 << false;
    }
}

// The trailer after the last chunk is bounded as a head is, in both forms.
void TestStreamResponse::trailerBound() {
    QFETCH(bool, async);
    QFETCH(int, lineLength);
    QFETCH(int, lines);
    QFETCH(bool, accepted);
    std::string trailer;
    for (int i = 0; i < lines; ++i)
        trailer += "X-T: " + std::string(static_cast<std::size_t>(lineLength), 't') + "\r\n";
    ScriptedServer server([trailer](ScriptedServer::Connection& c) {
        c.readHead();
        c.write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n" + trailer + "\r\n");
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/trailer"), async).ec, boost::system::error_code());
    streamtest::Body body = streamtest::readBody(io, s, async, 64);
    QCOMPARE(body.bytes, std::string("abc"));
    if (accepted)
        QCOMPARE(body.ec, boost::system::error_code());
    else
        QCOMPARE(body.ec, make_error_code(dlhttp::invalid_chunked_encoding));
}

void TestStreamResponse::headLimits_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");
    for (bool async : {false, true}) {
        formRow("endless status line", async) << "status" << int(dlhttp::malformed_status_line);
        formRow("endless header line", async) << "line" << int(dlhttp::malformed_response_headers);
        formRow("endless head", async) << "head" << int(dlhttp::malformed_response_headers);
    }
}

void TestStreamResponse::headLimits() {
    QFETCH(bool, async);
    QFETCH(QString, kind);
    QFETCH(int, expected);
    ScriptedServer server([kind](ScriptedServer::Connection& c) {
        c.readHead();
        if (kind == "status") c.write("HTTP/1.1 200 ");
        if (kind != "status") c.write("HTTP/1.1 200 OK\r\n");
        if (kind == "line") c.write("X-Long: ");
        // Far more than any head may hold, then silence until the peer closes.
        std::string piece = kind == "head" ? std::string("X-Many: aaaaaaaaaaaaaaaa\r\n") : std::string(1000, 'a');
        for (int i = 0; i < 300 && !c.stopped(); ++i) {
            std::string block;
            for (int j = 0; j < 10; ++j) block += piece;
            c.write(block);
        }
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::Opened opened = streamtest::open(io, s, server.url("/endless"), async);
    QCOMPARE(opened.ec, boost::system::error_code(expected, dlhttp::http_category()));
}

void TestStreamResponse::silentServer_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("afterRequest");
    for (bool async : {false, true}) {
        formRow("no answer", async) << "http" << true;
        formRow("half a head", async) << "http" << false;
        formRow("no TLS handshake", async) << "https" << false;
    }
}

void TestStreamResponse::silentServer() {
    QFETCH(bool, async);
    QFETCH(QString, scheme);
    QFETCH(bool, afterRequest);
    ScriptedServer server([scheme, afterRequest](ScriptedServer::Connection& c) {
        if (scheme == "http") {
            c.readHead();
            if (!afterRequest) c.write("HTTP/1.1 200 OK\r\nContent-");
        }
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.handshake_timeout(std::chrono::milliseconds(300));
    streamtest::Opened opened = streamtest::open(io, s, server.url("/silent", scheme.toStdString()), async);
    QCOMPARE(opened.ec, boost::system::error_code(boost::asio::error::timed_out));
    QCOMPARE(opened.calls, 1);
}

void TestStreamResponse::relativeLocation_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("expected");  // after "http://127.0.0.1:<port>"
    const std::pair<const char*, const char*> cases[] = {
        {"next.bin", "/dir/next.bin"},
        {"/abs", "/abs"},
        {"?page=2", "/dir/file?page=2"},
        {"sub/x.bin", "/dir/sub/x.bin"},
        {"../up.bin", "/up.bin"},
        {"./same/../x", "/dir/x"},
        {"#part", "/dir/file?x=1#part"},  // a bare fragment keeps the query
        // "://" in the query does not make a reference absolute.
        {"/login?next=http://example.invalid/y", "/login?next=http://example.invalid/y"},
        {"http://example.test/x", ""},
    };
    for (bool async : {false, true})
        for (const auto& c : cases) formRow(c.first, async) << c.first << c.second;
}

void TestStreamResponse::relativeLocation() {
    QFETCH(bool, async);
    QFETCH(QString, location);
    QFETCH(QString, expected);
    ScriptedServer server(
        reply("HTTP/1.1 302 Found\r\nLocation: " + location.toStdString() + "\r\nContent-Length: 0\r\n\r\n"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.max_redirects(0);
    QCOMPARE(streamtest::open(io, s, server.url("/dir/file?x=1"), async).ec, make_error_code(dlhttp::found));
    std::string want = expected.isEmpty() ? location.toStdString() : server.url(expected.toStdString());
    QCOMPARE(s.location(), want);
}

void TestStreamResponse::invalidRedirectTarget() {
    ScriptedServer server(reply("HTTP/1.1 301 Moved\r\nLocation: http://h:8a/x\r\nContent-Length: 0\r\n\r\n"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/r"), true).ec, make_error_code(dlhttp::invalid_redirect_address));
    // The blocking open throws for a target that is no URL.
    bool thrown = false;
    try {
        streamtest::open(io, s, server.url("/r"), false);
    } catch (const boost::system::system_error&) {
        thrown = true;
    }
    QVERIFY(thrown);
}

void TestStreamResponse::rangedBodyEndsAtItsLength() {
    QFETCH(bool, async);
    // content_length() reports the total after "/", yet the body of a kept-alive
    // ranged answer ends after its own Content-Length, not at the file's end.
    ScriptedServer server(
        reply("HTTP/1.1 206 Partial Content\r\nContent-Length: 4\r\nContent-Range: bytes 0-3/5000\r\n\r\nabcd"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/range"), async).ec, boost::system::error_code());
    QCOMPARE(s.content_length(), int64_t(5000));
    streamtest::Body body = streamtest::readBody(io, s, async, 3);
    QCOMPARE(body.bytes, std::string("abcd"));
    QCOMPARE(body.ec, boost::system::error_code());
}

void TestStreamResponse::readAfterCutHead() {
    QFETCH(bool, async);
    // The server ends the connection in the middle of the head: the open
    // fails, and a read after it ends as well instead of waiting.
    ScriptedServer server(reply("HTTP/1.1 302 Found\r\nLocation: next/x.bin\r\n", true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    s.max_redirects(0);
    QVERIFY(streamtest::open(io, s, server.url("/cut"), async).ec);
    streamtest::Body body = streamtest::readBody(io, s, async, 1);
    QVERIFY(body.ec);
}

void TestStreamResponse::framingFieldsAreExact() {
    QFETCH(bool, async);
    // "Chunked" and "Close" with capitals are not the framing values: the body
    // is read as it comes, and the connection counts as kept alive.
    ScriptedServer server(
        reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nConnection: Close\r\nContent-Length: 11\r\n\r\n"
              "3\r\nabc\r\n0\r\n"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/f"), async).ec, boost::system::error_code());
    QVERIFY(s.keep_alive());
    streamtest::Body body = streamtest::readBody(io, s, async, 3);
    QCOMPARE(body.bytes, std::string("3\r\nabc\r\n0\r\n"));
    QCOMPARE(body.ec, boost::system::error_code());
}

// Whether a connection stays open after an answer (RFC 9112 section 9.3):
// "close" on either side ends it; otherwise HTTP/1.1 keeps it without saying
// so, and HTTP/1.0 only with "keep-alive". The end of the body tells the same:
// a clean 0 on a kept connection, end of file on one that closes.
void TestStreamResponse::persistence_data() {
    QTest::addColumn<bool>("async");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("field");  // the answer's "Connection" ("": none)
    QTest::addColumn<bool>("askKeep");   // the request asks "keep-alive" (else "close")
    QTest::addColumn<bool>("kept");
    struct Case {
        const char* version;
        const char* field;
        bool askKeep;
        bool kept;
    };
    const Case cases[] = {
        {"HTTP/1.1", "", true, true},           {"HTTP/1.1", "keep-alive", true, true},
        {"HTTP/1.1", "close", true, false},     {"HTTP/1.1", "", false, false},
        {"HTTP/1.0", "", true, false},          {"HTTP/1.0", "keep-alive", true, true},
        {"HTTP/1.0", "Keep-Alive", true, true}, {"HTTP/1.0", "close", true, false},
    };
    for (bool async : {false, true})
        for (const Case& c : cases)
            formRow(QString("%1, Connection: %2, asked %3")
                        .arg(c.version, *c.field ? c.field : "(none)", c.askKeep ? "keep-alive" : "close"),
                    async)
                << c.version << c.field << c.askKeep << c.kept;
}

void TestStreamResponse::persistence() {
    QFETCH(bool, async);
    QFETCH(QString, version);
    QFETCH(QString, field);
    QFETCH(bool, askKeep);
    QFETCH(bool, kept);
    const std::string connection = field.isEmpty() ? "" : "Connection: " + field.toStdString() + "\r\n";
    ScriptedServer server(reply(version.toStdString() + " 200 OK\r\nContent-Length: 3\r\n" + connection + "\r\nabc"));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s, askKeep);
    QCOMPARE(streamtest::open(io, s, server.url("/p"), async).ec, boost::system::error_code());
    QCOMPARE(s.keep_alive(), kept);
    streamtest::Body body = streamtest::readBody(io, s, async, 2);
    QCOMPARE(body.bytes, std::string("abc"));
    QCOMPARE(body.ec, kept ? boost::system::error_code() : boost::system::error_code(boost::asio::error::eof));
}

void TestStreamResponse::bodyThroughIstream() {
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfirst line\nsecond line\n", true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    boost::system::error_code ec;
    s.open(dlhttp::url(server.url("/text")), ec);
    QVERIFY2(!ec, ec.message().c_str());
    std::istream in(&s);
    std::string a, b, c;
    std::getline(in, a);
    std::getline(in, b);
    QCOMPARE(a, std::string("first line"));
    QCOMPARE(b, std::string("second line"));
    QVERIFY(!std::getline(in, c));
}

void TestStreamResponse::closeDuringBodyRead() {
    ScriptedServer server([](ScriptedServer::Connection& c) {
        c.readHead();
        c.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    QCOMPARE(streamtest::open(io, s, server.url("/stall"), true).ec, boost::system::error_code());
    char buf[100];
    int calls = 0;
    std::string got;
    boost::system::error_code last;
    std::function<void()> next = [&] {
        s.async_read_some(boost::asio::buffer(buf), [&](const boost::system::error_code& ec, std::size_t n) {
            ++calls;
            got.append(buf, n);
            last = ec;
            if (!ec && n > 0) next();
        });
    };
    next();
    // The download's stall timer closes the stream while a read waits.
    boost::asio::steady_timer timer(io, std::chrono::milliseconds(50));
    timer.async_wait([&](const boost::system::error_code&) {
        boost::system::error_code ignored;
        s.close(ignored);
    });
    io.run();
    QCOMPARE(got, std::string("abc"));
    QCOMPARE(last, boost::system::error_code(boost::asio::error::operation_aborted));
    QCOMPARE(calls, 2);
}

void TestStreamResponse::closeUnderQueuedStep_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("firstRead");  // bytes read before the read under test
    QTest::newRow("size line of a chunk") << "chunked" << 0;
    QTest::newRow("gzip body") << "gzip" << 0;
    QTest::newRow("end of a chunk") << "chunked" << 5;
    QTest::newRow("plain body") << "plain" << 0;
}

// The whole answer comes in one write and is buffered, so the next read step
// (a chunk's size line, its line end, inflating, plain bytes) is ready at once
// and queued; a close() before it runs empties the buffer and must end the
// read aborted (not a clean end of the body, nor a size line or chunk end
// judged from bytes the close has thrown away).
void TestStreamResponse::closeUnderQueuedStep() {
    QFETCH(QString, kind);
    QFETCH(int, firstRead);
    std::string answer;
    if (kind == "gzip") {
        std::string packed = streamtest::gzipped("hello, hello");
        answer = "Content-Encoding: gzip\r\nContent-Length: " + std::to_string(packed.size()) + "\r\n\r\n" + packed;
    } else if (kind == "chunked") {
        answer = "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n";
    } else {
        answer = "Content-Length: 5\r\n\r\nhello";
    }
    ScriptedServer server([answer](ScriptedServer::Connection& c) {
        c.readHead();
        c.write("HTTP/1.1 200 OK\r\n" + answer);
        c.readToEnd();
    });
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    streamtest::askConnection(s);
    QCOMPARE(streamtest::open(io, s, server.url("/queued"), true).ec, boost::system::error_code());
    char buf[64];
    if (firstRead > 0) {
        // Exactly the data of the chunk: its line end is the next step.
        bool done = false;
        std::size_t n = 0;
        s.async_read_some(boost::asio::buffer(buf, static_cast<std::size_t>(firstRead)),
                          [&](const boost::system::error_code&, std::size_t got) {
                              n = got;
                              done = true;
                          });
        streamtest::runIo(io, done);
        QCOMPARE(n, static_cast<std::size_t>(firstRead));
    }
    int calls = 0;
    std::size_t got = 0;
    boost::system::error_code last;
    s.async_read_some(boost::asio::buffer(buf), [&](const boost::system::error_code& ec, std::size_t n) {
        ++calls;
        got = n;
        last = ec;
    });
    boost::system::error_code ignored;
    s.close(ignored);
    io.restart();
    io.run();
    QCOMPARE(calls, 1);
    QCOMPARE(last, boost::system::error_code(boost::asio::error::operation_aborted));
    QCOMPARE(got, std::size_t(0));
}

void TestStreamResponse::closeAndReopen() {
    QFETCH(bool, async);
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    boost::system::error_code ec;
    s.close(ec);  // never opened: nothing to do
    QCOMPARE(ec, boost::system::error_code());
    // A refused connection first, then the same stream opens a server. The
    // port is held by a socket bound to it that never listens: connecting to
    // it is refused, and no other program can take the port meanwhile.
    boost::asio::ip::tcp::socket holder(io);
    holder.open(boost::asio::ip::tcp::v4());
    holder.bind(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    std::string refused = "http://127.0.0.1:" + std::to_string(holder.local_endpoint().port()) + "/x";
    QCOMPARE(streamtest::open(io, s, refused, async).ec,
             boost::system::error_code(boost::asio::error::connection_refused));
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
    QCOMPARE(streamtest::open(io, s, server.url("/again"), async).ec, boost::system::error_code());
    QCOMPARE(streamtest::readBody(io, s, async).bytes, std::string("ok"));
    s.close(ec);
    QCOMPARE(ec, boost::system::error_code());
    QVERIFY(!s.is_open());
    s.close(ec);
    QCOMPARE(ec, boost::system::error_code());
}

void TestStreamResponse::connectClosesBetweenEndpoints() {
    // ::1 refuses (nothing listens there on this port), then the IPv4 server
    // answers: the socket opened for IPv6 must be closed before the retry.
    ScriptedServer server(reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true));
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    std::vector<boost::asio::ip::tcp::endpoint> endpoints = {
        {boost::asio::ip::make_address("::1"), server.port()},
        {boost::asio::ip::make_address("127.0.0.1"), server.port()}};
    QCOMPARE(dlhttp::http_stream_test_access::connectEach(io, s, endpoints), boost::system::error_code());
    QVERIFY(s.is_open());
}

void TestStreamResponse::badScheme() {
    QFETCH(bool, async);
    boost::asio::io_context io;
    dlhttp::http_stream s(io);
    for (const char* u : {"ftp://127.0.0.1/x", "gopher://127.0.0.1/x"}) {
        dlhttp::url target(u);
        streamtest::Opened opened;
        if (!async) {
            s.open(target, opened.ec);
        } else {
            bool returned = false, done = false;
            s.async_open(target, [&](const boost::system::error_code& ec) {
                opened.calledInside = !returned;
                opened.ec = ec;
                done = true;
            });
            returned = true;
            streamtest::runIo(io, done);
        }
        QCOMPARE(opened.ec, boost::system::error_code(boost::asio::error::operation_not_supported));
        QVERIFY(!opened.calledInside);
    }
}

QTEST_APPLESS_MAIN(TestStreamResponse)
#include "tst_stream_response.moc"
