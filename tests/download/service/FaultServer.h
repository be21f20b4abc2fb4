#pragma once
// A small scripted HTTP/1.1 file server on 127.0.0.1 for the download tests. It
// serves one file at every path and can misbehave in the ways a real server or
// a broken middlebox does: ignore ranges after some requests, answer with a
// wrong Content-Range, drop connections in the middle of a range, stay silent,
// answer every ranged request with a fixed status, change the file's size
// between the probe and the ranges, or gzip-code its answers.
//
//   FaultServer server(content);
//   server.script().ignoreRangesAfter = 3;
//   server.start();
//   download("http://127.0.0.1:" + port + "/file.bin");
//
// The "probe" is the first request the server sees (the download asks
// "bytes=0-" first); most faults hit only the requests after it.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FaultServer {
public:
    struct Script {
        // After this many requests, every further request gets 200 and the
        // whole file, whatever its Range (-1: never).
        int ignoreRangesAfter = -1;
        // Ranged answers after the probe carry a Content-Range (and body) that
        // starts this many bytes later than asked (0: correct).
        int64_t shiftRangesBy = 0;
        // Every answer after the probe is cut off (connection closed) after this
        // many body bytes (-1: never).
        int64_t dropAfterBytes = -1;
        // Requests after the probe are read but never answered.
        bool silentAfterProbe = false;
        // No request is ever answered, the probe's included.
        bool silentAll = false;
        // Requests after the probe are answered with this status and no body
        // (0: normal answers). 503, 416, ...
        int statusAfterProbe = 0;
        // After the probe the file has this size (-1: unchanged): ranges are
        // answered against the new size.
        int64_t sizeAfterProbe = -1;
        // Answers carry "Content-Encoding: gzip" (the body stays as it is, so a
        // client that decodes it fails and one that does not must refuse it).
        bool gzipAll = false;
        // Answers carry "Content-Encoding:" with this value (empty: none), the
        // body unchanged.
        std::string contentEncoding;
        // Answers to ranges are 200 (no ranges accepted at all).
        bool noRanges = false;
        // Keep connections alive between requests.
        bool keepAlive = true;
        // Requests after the probe are answered "302 Found" to this path
        // (empty: never); files added with addFile are served there.
        std::string redirectRangesTo;
        // The probe is answered "302 Found" to this path (empty: never).
        std::string redirectProbeTo;
        // Answers to an open-ended range (the probe's "bytes=0-") name this
        // path in a "Location" header although they are no redirect (empty:
        // none).
        std::string locationOnOpenEnded;
        // At most this many connections are served at once; requests on the
        // others get 503 and the connection is closed (-1: no limit), as a
        // mirror that serves a few connections per client does.
        int maxServedConnections = -1;
        // The probe's "bytes=0-" is answered with only this many bytes
        // ("bytes 0-(n-1)/size"; -1: the whole file).
        int64_t probeAnswerBytes = -1;
        // Ranged answers after the probe say "Connection: close"; with
        // `lingerAfterClose` the server then keeps the connection open and
        // reads on, and a request that still comes on it is counted (see
        // requestsAfterClose) and never answered.
        bool closeRangedAnswers = false;
        bool lingerAfterClose = false;
        // Every answer is 200 without a Content-Length, ended by closing the
        // connection: a server that does not tell the size.
        bool noLength = false;
        // Bodies are sent at about this many bytes per second per connection
        // (-1: at once).
        int64_t bytesPerSecond = -1;
        // Every answer is 200 with "Transfer-Encoding: chunked" and no
        // Content-Length, as a script that streams the file sends it. With
        // `cutBeforeLastChunk` the connection is closed after the data, before
        // the last chunk.
        bool chunked = false;
        bool cutBeforeLastChunk = false;
        // Answers carry no "Connection" field: an HTTP/1.1 server keeps the
        // connection open without saying so.
        bool noConnectionField = false;
        // Ranged answers after the probe carry no "Connection" field, and the
        // server closes the connection after each of them (at once, or, with
        // `closeOnNextRequest`, once the next request has come), as a server
        // whose idle time for kept connections has run out does.
        bool closeSilently = false;
        bool closeOnNextRequest = false;
        // The probe is answered "416" with "Content-Range: bytes */N" for this
        // N (-1: never), whatever the file.
        int64_t refuseProbeWithSize = -1;
    };

    explicit FaultServer(std::string content);
    ~FaultServer();

    Script& script() { return m_script; }
    bool start();
    void stop();
    int port() const { return m_port; }
    std::string url(const std::string& path = "/file.bin") const;
    // Serves `content` at `path` instead of the file.
    void addFile(const std::string& path, const std::string& content);

    int requests() const { return m_requests.load(); }
    int connections() const { return m_connections.load(); }
    // The Range header of every request, in arrival order (empty: none).
    std::vector<std::string> ranges() const;
    // Requests that came on a connection after its answer said "Connection:
    // close" (with lingerAfterClose).
    int requestsAfterClose() const { return m_requestsAfterClose.load(); }

private:
    void acceptLoop();
    void serve(int fd);
    bool answer(int fd, const std::string& head, int index, bool served);
    bool answerRefused(int fd);
    bool answerChunked(int fd, const std::string& body, const std::string& connection);
    // The "Connection" field of an answer, empty when the script omits it.
    std::string connectionField(const std::string& connection) const;
    static bool sendAll(int fd, const char* data, size_t size);
    bool sendBody(int fd, const char* data, size_t size);

    std::string m_content;
    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_requests{0};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_active{0};
    std::atomic<int> m_requestsAfterClose{0};
    std::map<std::string, std::string> m_files;
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_clients;
    std::vector<std::string> m_ranges;
};
