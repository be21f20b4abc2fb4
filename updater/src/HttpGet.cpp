#include "updater/HttpGet.h"

#include <QDebug>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <atomic>

#include <unistd.h>

#include "platform/Programs.h"
#include "platform/RegularFile.h"
#include "UpdaterLogging.h"

Q_LOGGING_CATEGORY(lcUpdaterCheck, "velkin.check")

HttpGet::HttpGet(QObject* parent) : QObject(parent), m_pManager(new QNetworkAccessManager(this)) {
    connect(m_pManager, &QNetworkAccessManager::finished, this, &HttpGet::slotGetFinished);
}

int HttpGet::get(const QString& url) {
    m_strLastUrl = m_strCurrentUrl;
    m_strCurrentUrl = url;
    send(url);
    return 0;
}

namespace {

std::atomic<int> g_requestTimeoutMs{HttpGet::kRequestTimeoutMs};

const char kTimedOut[] = "zn_timed_out";
const char kTooLarge[] = "zn_too_large";

}  // namespace

void HttpGet::setRequestTimeoutForTesting(int milliseconds) {
    g_requestTimeoutMs = milliseconds > 0 ? milliseconds : kRequestTimeoutMs;
}

void HttpGet::send(const QString& url) {
    QNetworkReply* reply = m_pManager->get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    // A server may accept and never answer, or answer without end: the whole
    // request has a time limit, and running out of it is a failed send.
    auto* limit = new QTimer(reply);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kTimedOut, true);
        reply->abort();
    });
    limit->start(g_requestTimeoutMs.load());
    // The whole answer is held in memory: one beyond any reply of the update
    // server is a failed send too.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received <= kMaxReplyBytes || reply->property(kTooLarge).toBool()) return;
        reply->setProperty(kTooLarge, true);
        // Not from inside the reply's own signal; a reply that finishes
        // meanwhile is judged by the mark.
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });
}

void HttpGet::writeVersionNotes(const QString& body) {
    const QString path = platform::applicationDir() + QStringLiteral("/ver.txt");
    qCDebug(lcUpdaterCheck) << "Zn LiveUpdate: ver file" << path;
    // Only a regular file of that name is written: a link planted in the
    // application folder is not followed, and a FIFO or device is neither
    // waited for nor written. Anything else is skipped like an unwritable file.
    const int fd = platform::openRegularFileToWrite(QFile::encodeName(path).constData(), 0666);
    if (fd < 0) return;
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    QTextStream stream(&file);  // the local 8-bit encoding
    stream << body << "\n";
}

void HttpGet::slotGetFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError && !reply->property(kTooLarge).toBool()) {
        m_nRetryCount = 0;
        const QString body = QString::fromUtf8(reply->readAll());
        if (body.contains(QStringLiteral("What's New"))) writeVersionNotes(body);
        emit signalGetFinished(reply->url().toString(), body);
        return;
    }

    if (m_strCurrentUrl == m_strLastUrl) {
        ++m_nRetryCount;
        if (m_nRetryCount > 3) {
            m_nRetryCount = 0;
            QString reason = reply->errorString();
            if (reply->property(kTimedOut).toBool()) reason = tr("The server did not answer in time");
            if (reply->property(kTooLarge).toBool()) reason = tr("The server's answer is too large");
            emit reportError(tr("Network error: %1,please check the network.").arg(reason));
            return;
        }
    } else {
        m_strLastUrl = m_strCurrentUrl;
        ++m_nRetryCount;
    }
    send(m_strCurrentUrl);
}
