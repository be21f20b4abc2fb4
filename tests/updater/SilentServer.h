#pragma once
// An update server that accepts every connection and never answers: the
// updater's requests can only end by their own time limit.
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

namespace updatertest {

class SilentServer {
public:
    SilentServer() {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) m_held << socket;
        });
    }
    ~SilentServer() { qDeleteAll(m_held); }

    bool listen() { return m_server.listen(QHostAddress(QStringLiteral("127.0.0.1"))); }
    QString updateUrl() const { return QStringLiteral("http://127.0.0.1:%1/verinfo?").arg(m_server.serverPort()); }

    // The version queries received (Qt may open a spare connection that
    // carries no request).
    int versionRequests() {
        int requests = 0;
        for (QTcpSocket* socket : m_held) {
            if (socket->bytesAvailable() == 0) socket->waitForReadyRead(100);
            requests += socket->readAll().startsWith("GET /verinfo?pid=CORVANE-2&type=ver ");
        }
        return requests;
    }

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_held;
};

}  // namespace updatertest
