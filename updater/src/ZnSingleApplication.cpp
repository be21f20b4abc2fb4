#include "ZnSingleApplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

#include "platform/InstanceLock.h"

namespace {

// A message on the socket: its UTF-8 length as a 32-bit number, then the bytes.
QByteArray frame(const QString& message) {
    const QByteArray utf8 = message.toUtf8();
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    stream << quint32(utf8.size());
    data.append(utf8);
    return data;
}

}  // namespace

ZnSingleApplication::ZnSingleApplication(int& argc, char** argv, bool guiEnabled)
    : QApplication(argc, argv, guiEnabled) {
    const QByteArray path = QApplication::applicationFilePath().toUtf8();
    m_strId = QApplication::applicationName() + QLatin1Char('-') +
              QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(16));
    const QString dir = platform::runtimeDir();
    if (!dir.isEmpty()) m_strSocketPath = dir + QLatin1Char('/') + m_strId + QStringLiteral(".socket");

    switch (platform::acquireInstanceLock(m_strId, &m_nLockHandle)) {
    case platform::InstanceLockResult::Acquired: startServer(); break;
    case platform::InstanceLockResult::AlreadyExists: m_bRunning = true; break;
    case platform::InstanceLockResult::Failed: break;  // no runtime folder: run alone, unreachable
    }
}

ZnSingleApplication::~ZnSingleApplication() {
    if (m_pServer) {
        m_pServer->close();
        delete m_pServer;
    }
    if (m_nLockHandle >= 0) ::close(m_nLockHandle);
}

bool ZnSingleApplication::isRunning() const { return m_bRunning; }

void ZnSingleApplication::startServer() {
    if (m_strSocketPath.isEmpty()) return;
    // We hold the lock, so no other instance listens: a socket file left here
    // belongs to an instance that has gone.
    QLocalServer::removeServer(m_strSocketPath);
    m_pServer = new QLocalServer();
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_pServer->listen(m_strSocketPath)) return;
    connect(m_pServer, &QLocalServer::newConnection, this, &ZnSingleApplication::acceptConnection);
}

void ZnSingleApplication::acceptConnection() {
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* buffer = new QByteArray;
        connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            while (buffer->size() >= 4) {
                QDataStream stream(*buffer);
                quint32 length = 0;
                stream >> length;
                if (length > 1024 * 1024) {  // not one of ours
                    socket->abort();
                    return;
                }
                if (quint32(buffer->size()) < 4 + length) return;
                const QString message = QString::fromUtf8(buffer->mid(4, int(length)));
                buffer->remove(0, int(4 + length));
                emit messageReceived(message);
            }
        });
    }
}

bool ZnSingleApplication::sendMessage(const QString& message, int timeout) {
    if (!m_bRunning || m_strSocketPath.isEmpty()) return false;
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The running instance may hold the lock a moment before it listens.
    for (;;) {
        socket.connectToServer(m_strSocketPath);
        if (socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 1)))) break;
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    socket.write(frame(message));
    bool written = true;
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            written = false;
            break;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
    return written;
}
