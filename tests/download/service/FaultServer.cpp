#include "FaultServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <strings.h>

FaultServer::FaultServer(std::string content) : m_content(std::move(content)) {}

FaultServer::~FaultServer() { stop(); }

bool FaultServer::start() {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) return false;
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(m_listen, 64) != 0) return false;
    socklen_t length = sizeof address;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

void FaultServer::stop() {
    if (m_stopping.exchange(true)) return;
    if (m_listen >= 0) ::shutdown(m_listen, SHUT_RDWR);
    if (m_acceptor.joinable()) m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clients) ::shutdown(fd, SHUT_RDWR);
        workers.swap(m_workers);
    }
    for (auto& worker : workers) worker.join();
    for (int fd : m_clients) ::close(fd);
    m_clients.clear();
    if (m_listen >= 0) ::close(m_listen);
    m_listen = -1;
}

std::string FaultServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void FaultServer::addFile(const std::string& path, const std::string& content) { m_files[path] = content; }

std::vector<std::string> FaultServer::ranges() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranges;
}

void FaultServer::acceptLoop() {
    while (!m_stopping) {
        int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (m_stopping) return;
            continue;
        }
        ++m_connections;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            return;
        }
        m_clients.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

void FaultServer::serve(int fd) {
    // Connections beyond the limit are refused for as long as they are open.
    const int active = ++m_active;
    const bool served = m_script.maxServedConnections < 0 || active <= m_script.maxServedConnections;
    std::string pending;
    char buffer[4096];
    bool saidClose = false;
    bool closeAtNextRequest = false;
    for (;;) {
        size_t end = pending.find("\r\n\r\n");
        while (end == std::string::npos) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::shutdown(fd, SHUT_RDWR);
                --m_active;
                return;
            }
            pending.append(buffer, static_cast<size_t>(n));
            end = pending.find("\r\n\r\n");
        }
        std::string head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        // A kept connection whose idle time ran out: closed without an answer.
        if (closeAtNextRequest) break;
        if (saidClose) {
            // The answer before said "Connection: close": this request should
            // never have come. Count it and leave it unanswered.
            ++m_requestsAfterClose;
            continue;
        }
        int index = ++m_requests;
        closeAtNextRequest = m_script.closeSilently && m_script.closeOnNextRequest && index > 1;
        if (!answer(fd, head, index, served)) {
            if (!(m_script.lingerAfterClose && m_script.closeRangedAnswers && index > 1)) break;
            saidClose = true;
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    --m_active;
}

namespace {

std::string headerValue(const std::string& head, const char* name) {
    std::istringstream lines(head);
    std::string line;
    size_t length = std::strlen(name);
    while (std::getline(lines, line)) {
        if (line.size() > length && line[length] == ':' && strncasecmp(line.c_str(), name, length) == 0) {
            std::string value = line.substr(length + 1);
            value.erase(0, value.find_first_not_of(' '));
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
            return value;
        }
    }
    return std::string();
}

}  // namespace

std::string FaultServer::connectionField(const std::string& connection) const {
    if (m_script.noConnectionField || m_script.closeSilently) return std::string();
    return "Connection: " + connection + "\r\n";
}

bool FaultServer::answerChunked(int fd, const std::string& body, const std::string& connection) {
    std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + connectionField(connection) + "\r\n";
    const size_t piece = 8000;
    char size[32];
    for (size_t i = 0; i < body.size(); i += piece) {
        const size_t n = std::min(piece, body.size() - i);
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        reply += size + body.substr(i, n) + "\r\n";
    }
    if (!m_script.cutBeforeLastChunk) reply += "0\r\n\r\n";
    return sendAll(fd, reply.data(), reply.size()) && !m_script.cutBeforeLastChunk && connection == "keep-alive";
}

bool FaultServer::answerRefused(int fd) {
    const std::string reply = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    sendAll(fd, reply.data(), reply.size());
    return false;
}

bool FaultServer::answer(int fd, const std::string& head, int index, bool served) {
    const std::string range = headerValue(head, "Range");
    std::string path;
    {
        std::istringstream line(head);
        std::string method;
        line >> method >> path;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ranges.push_back(range);
    }
    if (!served) return answerRefused(fd);
    const bool afterProbe = index > 1;
    if ((afterProbe && m_script.silentAfterProbe) || m_script.silentAll) {
        char sink[1024];
        while (!m_stopping && ::recv(fd, sink, sizeof sink, 0) > 0) {
        }
        return false;
    }
    std::string connection = m_script.keepAlive ? "keep-alive" : "close";
    const std::string redirect = !afterProbe ? m_script.redirectProbeTo : m_script.redirectRangesTo;
    if (!redirect.empty() && m_files.find(path) == m_files.end()) {
        std::string reply = "HTTP/1.1 302 Found\r\nLocation: " + redirect +
                            "\r\nContent-Length: 0\r\nConnection: " + connection + "\r\n\r\n";
        return sendAll(fd, reply.data(), reply.size()) && m_script.keepAlive;
    }
    if (afterProbe && m_script.statusAfterProbe != 0) {
        std::string reply = "HTTP/1.1 " + std::to_string(m_script.statusAfterProbe) +
                            " Scripted\r\nContent-Length: 0\r\nConnection: " + connection + "\r\n\r\n";
        return sendAll(fd, reply.data(), reply.size()) && m_script.keepAlive;
    }

    if (!afterProbe && m_script.refuseProbeWithSize >= 0) {
        const std::string text = "<html><body>416 Range Not Satisfiable</body></html>";
        std::string reply = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                            std::to_string(m_script.refuseProbeWithSize) +
                            "\r\nContent-Length: " + std::to_string(text.size()) + "\r\n" +
                            connectionField(connection) + "\r\n" + text;
        return sendAll(fd, reply.data(), reply.size()) && m_script.keepAlive;
    }

    const auto file = m_files.find(path);
    std::string body = file != m_files.end() ? file->second : m_content;
    if (afterProbe && m_script.sizeAfterProbe >= 0) body.resize(static_cast<size_t>(m_script.sizeAfterProbe), 'x');
    const int64_t size = static_cast<int64_t>(body.size());
    if (m_script.noLength) {
        std::string reply = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
        sendAll(fd, reply.data(), reply.size());
        return false;
    }
    if (m_script.chunked) return answerChunked(fd, body, connection);

    bool ranged = !range.empty() && range.compare(0, 6, "bytes=") == 0 && !m_script.noRanges &&
                  !(m_script.ignoreRangesAfter >= 0 && index > m_script.ignoreRangesAfter);
    int64_t first = 0;
    int64_t last = size - 1;
    if (ranged) {
        char* rest = nullptr;
        first = std::strtoll(range.c_str() + 6, &rest, 10);
        if (rest && *rest == '-' && rest[1] != '\0')
            last = std::min<int64_t>(std::strtoll(rest + 1, nullptr, 10), size - 1);
        if (first >= size) {
            // With a body, as real servers send one: it is no part of the file.
            const std::string text = "<html><body>416 Range Not Satisfiable</body></html>";
            std::string reply = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
                                "\r\nContent-Length: " + std::to_string(text.size()) + "\r\n" +
                                connectionField(connection) + "\r\n" + text;
            return sendAll(fd, reply.data(), reply.size()) && m_script.keepAlive;
        }
        if (!afterProbe && m_script.probeAnswerBytes >= 0) last = std::min(last, m_script.probeAnswerBytes - 1);
        if (afterProbe && m_script.shiftRangesBy != 0) {
            first = std::min(first + m_script.shiftRangesBy, size - 1);
            last = std::min(last + m_script.shiftRangesBy, size - 1);
        }
        if (afterProbe && m_script.closeRangedAnswers) connection = "close";
    }
    std::ostringstream reply;
    if (ranged) {
        reply << "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " << first << "-" << last << "/" << size
              << "\r\n";
    } else {
        reply << "HTTP/1.1 200 OK\r\n";
    }
    const int64_t length = last - first + 1;
    reply << "Content-Length: " << length << "\r\nAccept-Ranges: bytes\r\n";
    if (!m_script.locationOnOpenEnded.empty() && range == "bytes=0-")
        reply << "Location: " << m_script.locationOnOpenEnded << "\r\n";
    if (m_script.gzipAll)
        reply << "Content-Encoding: gzip\r\n";
    else if (!m_script.contentEncoding.empty())
        reply << "Content-Encoding: " << m_script.contentEncoding << "\r\n";
    reply << connectionField(connection) << "\r\n";
    const std::string text = reply.str();
    if (!sendAll(fd, text.data(), text.size())) return false;
    int64_t toSend = length;
    bool drop = afterProbe && m_script.dropAfterBytes >= 0 && m_script.dropAfterBytes < length;
    if (drop) toSend = m_script.dropAfterBytes;
    if (toSend > 0 && !sendBody(fd, body.data() + first, static_cast<size_t>(toSend))) return false;
    // A server that closes its kept connections without saying so.
    if (ranged && afterProbe && m_script.closeSilently && !m_script.closeOnNextRequest) return false;
    return !drop && connection == "keep-alive";
}

bool FaultServer::sendBody(int fd, const char* data, size_t size) {
    if (m_script.bytesPerSecond <= 0) return sendAll(fd, data, size);
    // A tenth of a second's worth at a time.
    const size_t step = static_cast<size_t>(std::max<int64_t>(1, m_script.bytesPerSecond / 10));
    while (size > 0 && !m_stopping) {
        const size_t n = std::min(step, size);
        if (!sendAll(fd, data, n)) return false;
        data += n;
        size -= n;
        if (size > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return size == 0;
}

bool FaultServer::sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
