#include "support/ScriptedSmtpServer.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>

#include <future>

namespace {

constexpr int kWaitMs = 10000;

// Takes every connection as a QSslSocket, plain until a script starts TLS.
class SslCapableServer : public QTcpServer {
protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        addPendingConnection(socket);
    }
};

}  // namespace

ScriptedSmtpServer::Session::Session(QSslSocket* socket, ScriptedSmtpServer* server)
    : m_socket(socket),
      m_server(server) {}

void ScriptedSmtpServer::Session::send(const QByteArray& bytes) {
    m_socket->write(bytes);
    while (m_socket->bytesToWrite() > 0 && m_socket->waitForBytesWritten(kWaitMs)) {
    }
}

QByteArray ScriptedSmtpServer::Session::readLine() {
    while (!m_socket->canReadLine()) {
        if (!m_socket->waitForReadyRead(kWaitMs)) return QByteArray();
    }
    QByteArray line = m_socket->readLine();
    if (line.endsWith("\r\n")) line.chop(2);
    m_server->record(line);
    return line;
}

bool ScriptedSmtpServer::Session::expect(const QByteArray& line, const QByteArray& reply) {
    if (readLine() != line) return false;
    send(reply);
    return true;
}

QByteArray ScriptedSmtpServer::Session::readData() {
    QList<QByteArray> data;
    for (;;) {
        while (!m_socket->canReadLine()) {
            if (!m_socket->waitForReadyRead(kWaitMs)) return QByteArray();
        }
        QByteArray line = m_socket->readLine();
        if (line.endsWith("\r\n")) line.chop(2);
        if (line == ".") break;
        data << line;
    }
    m_server->record("<data>");
    return data.isEmpty() ? QByteArray() : QByteArray(data.join("\r\n")) + "\r\n";
}

void ScriptedSmtpServer::Session::waitForClose() {
    while (m_socket->state() == QAbstractSocket::ConnectedState) {
        if (!m_socket->waitForReadyRead(kWaitMs)) break;
        while (m_socket->canReadLine()) {
            QByteArray line = m_socket->readLine();
            if (line.endsWith("\r\n")) line.chop(2);
            m_server->record(line);
        }
    }
}

void ScriptedSmtpServer::Session::pause(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }

bool ScriptedSmtpServer::Session::drip(const QByteArray& bytes, int intervalMs) {
    for (const char byte : bytes) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) return false;
        send(QByteArray(1, byte));
        // The pause watches the connection: a close ends it at once.
        const QDeadlineTimer deadline(intervalMs);
        while (!deadline.hasExpired() && m_socket->state() == QAbstractSocket::ConnectedState) {
            m_socket->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        }
    }
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

qint64 ScriptedSmtpServer::Session::stream(const QByteArray& chunk, qint64 limit) {
    qint64 sent = 0;
    while (sent < limit && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->write(chunk);
        while (m_socket->bytesToWrite() > 0 && m_socket->waitForBytesWritten(kWaitMs)) {
        }
        if (m_socket->bytesToWrite() > 0) break;
        sent += chunk.size();
    }
    return sent;
}

bool ScriptedSmtpServer::Session::startTls() {
    m_socket->setLocalCertificate(m_server->m_certificate);
    m_socket->setPrivateKey(m_server->m_key);
    m_socket->startServerEncryption();
    return m_socket->waitForEncrypted(kWaitMs);
}

ScriptedSmtpServer::ScriptedSmtpServer() = default;

ScriptedSmtpServer::~ScriptedSmtpServer() { finish(); }

void ScriptedSmtpServer::setTlsIdentity(const QSslCertificate& certificate, const QSslKey& key) {
    m_certificate = certificate;
    m_key = key;
}

bool ScriptedSmtpServer::start(Script script) {
    std::promise<int> listening;
    std::future<int> port = listening.get_future();
    m_thread = std::make_unique<std::thread>([this, script, &listening]() {
        SslCapableServer server;
        if (!server.listen(QHostAddress(QHostAddress::LocalHost), 0)) {
            listening.set_value(0);
            return;
        }
        listening.set_value(server.serverPort());
        if (!server.waitForNewConnection(kWaitMs)) return;
        std::unique_ptr<QSslSocket> socket(static_cast<QSslSocket*>(server.nextPendingConnection()));
        server.close();
        Session session(socket.get(), this);
        script(session);
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState) socket->waitForDisconnected(1000);
    });
    m_port = port.get();
    return m_port != 0;
}

void ScriptedSmtpServer::finish() {
    if (m_thread && m_thread->joinable()) m_thread->join();
}

QList<QByteArray> ScriptedSmtpServer::lines() const {
    QMutexLocker lock(&m_mutex);
    return m_lines;
}

void ScriptedSmtpServer::record(const QByteArray& line) {
    QMutexLocker lock(&m_mutex);
    m_lines << line;
}
