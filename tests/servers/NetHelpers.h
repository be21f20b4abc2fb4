#pragma once
// Small synchronous helpers for the server smoke tests.
#include "testsupport/GuardedProcess.h"
#include "testsupport/TestServer.h"

#include <QByteArray>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

struct Fetched {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorText;
    int status = 0;
    QByteArray body;
    QUrl finalUrl;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray header(const QByteArray& name) const {
        for (const auto& h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
        return QByteArray();
    }
};

// Runs one request to its end (at most 20 s) and returns what came back.
inline Fetched fetch(QNetworkAccessManager& nam, const QNetworkRequest& request) {
    std::unique_ptr<QNetworkReply> reply(nam.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    Fetched f;
    if (!reply->isFinished()) {
        reply->abort();
        f.error = QNetworkReply::TimeoutError;
        f.errorText = QStringLiteral("no answer within 20 s");
        return f;
    }
    f.error = reply->error();
    f.errorText = reply->errorString();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.body = reply->readAll();
    f.finalUrl = reply->url();
    f.headers = reply->rawHeaderPairs();
    return f;
}

inline Fetched fetch(QNetworkAccessManager& nam, const QString& url) { return fetch(nam, QNetworkRequest(QUrl(url))); }

// Reads from a socket until `done(buffer)` holds or 10 s pass.
template <typename Done>
QByteArray readUntil(QTcpSocket& socket, Done done) {
    QByteArray buffer;
    QElapsedTimer timer;
    timer.start();
    while (!done(buffer) && timer.elapsed() < 10000) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(200) &&
            socket.state() != QAbstractSocket::ConnectedState)
            break;
        buffer += socket.readAll();
    }
    buffer += socket.readAll();
    return buffer;
}

// A pseudo-random but reproducible body of `size` bytes.
inline QByteArray patternBytes(int size) {
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = static_cast<char>(x & 0xff);
    }
    return b;
}

// Stops a server and checks that nothing of it is left.
#define VERIFY_STOPPED(server)                                                                                \
    do {                                                                                                      \
        const qint64 pid_ = (server).pid();                                                                   \
        QVERIFY(pid_ > 0);                                                                                    \
        (server).stop();                                                                                      \
        QVERIFY2(!::testsupport::processExists(pid_), "the server process is still there");                   \
        QVERIFY2(!::testsupport::processGroupExists(pid_), "a process of the server's group is still there"); \
    } while (false)
