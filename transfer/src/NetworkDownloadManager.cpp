#include "transfer/NetworkDownloadManager.h"

#include <QDebug>
#include <QNetworkRequest>
#include <QTimer>

#include "platform/Programs.h"
#include "TransferLogging.h"

Q_LOGGING_CATEGORY(lcTransfer, "corvane.transfer")

namespace {
int g_transferTimeoutMs = 0;
}  // namespace

int CNetworkDownloadManager::TransferTimeoutMs() {
    return g_transferTimeoutMs > 0 ? g_transferTimeoutMs : kTransferTimeoutMs;
}

void CNetworkDownloadManager::SetTransferTimeoutMs(int timeoutMs) { g_transferTimeoutMs = timeoutMs; }

CNetworkDownloadManager::CNetworkDownloadManager(QObject* parent)
    : QObject(parent),
      m_eDownloadType(static_cast<DOWNLOADTYPE>(0)),
      m_pReply(nullptr),
      m_pFile(nullptr),
      m_nRedirects(0) {
    m_transferTimer.setSingleShot(true);
    connect(&m_transferTimer, &QTimer::timeout, this, &CNetworkDownloadManager::transferTimedOut);
}

CNetworkDownloadManager::~CNetworkDownloadManager() {
    if (m_pReply) {
        m_pReply->disconnect(this);
        m_pReply->abort();
        m_pReply->deleteLater();
    }
    delete m_pFile;
}

void CNetworkDownloadManager::StartDownload(QString fileName, QUrl url, DOWNLOADTYPE type) {
    // A reply still running belongs to the download being replaced.
    if (m_pReply) {
        m_pReply->disconnect(this);
        m_pReply->abort();
        m_pReply->deleteLater();
    }
    m_pReply = nullptr;
    m_transferTimer.stop();
    delete m_pFile;
    m_pFile = nullptr;
    m_nRedirects = 0;
    m_eDownloadType = type;

    const QString path = platform::applicationDir() + QLatin1Char('/') + fileName;
    qCDebug(lcTransfer) << "downloadSaveFilePath===========================" << path;
    if (QFile::exists(path)) QFile::remove(path);
    m_pFile = new QFile(path);
    if (!m_pFile->open(QIODevice::WriteOnly)) {
        delete m_pFile;
        m_pFile = nullptr;
        // Without a save file nothing is requested; the end is still reported (as
        // a failed download, leaving no file) so that whoever waits goes on. It is
        // sent from the event loop, never from inside this call.
        QTimer::singleShot(0, this, [this, type]() { emit onDownloadFinished(type); });
        return;
    }
    m_url = url;
    StartRequest(m_url);
}

void CNetworkDownloadManager::StartRequest(QUrl url) {
    QNetworkRequest request(url);
    // Redirects are followed here, one by one, so that each is seen and counted.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_pReply = m_networkManager.get(request);
    connect(m_pReply, &QNetworkReply::finished, this, &CNetworkDownloadManager::httpFinished);
    connect(m_pReply, &QNetworkReply::readyRead, this, &CNetworkDownloadManager::httpReadyRead);
    connect(m_pReply, &QNetworkReply::downloadProgress, this, &CNetworkDownloadManager::updateDataReadProgress);
    // The limit covers the connection, the TLS handshake and the wait for the
    // answer as well as the body; every piece of data restarts it.
    m_transferTimer.start(TransferTimeoutMs());
}

void CNetworkDownloadManager::httpReadyRead() {
    if (!m_pReply) return;
    m_transferTimer.start(TransferTimeoutMs());
    if (m_pFile) m_pFile->write(m_pReply->readAll());
}

void CNetworkDownloadManager::transferTimedOut() {
    if (!m_pReply) return;
    qCDebug(lcTransfer) << "httpFinished======no data within the time limit=====" << TransferTimeoutMs()
                        << m_url.toString();
    // Ended here rather than through the reply's own end, so that the end is
    // reported exactly once whatever the reply does when it is aborted.
    m_pReply->disconnect(this);
    m_pReply->abort();
    finishFailed();
}

void CNetworkDownloadManager::updateDataReadProgress(qlonglong bytesReceived, qlonglong bytesTotal) {
    if (m_pReply) m_transferTimer.start(TransferTimeoutMs());
    emit SignalDownloadiTunesProcess(bytesReceived, bytesTotal);
}

bool CNetworkDownloadManager::isConfigDownload() const {
    return m_eDownloadType == kDownloadType_EmailConfig || m_eDownloadType == kDownloadType_iTunesSetupUrlConfig;
}

void CNetworkDownloadManager::finishFailed() {
    m_transferTimer.stop();
    if (m_pFile) {
        m_pFile->remove();
        delete m_pFile;
        m_pFile = nullptr;
    }
    if (m_pReply) m_pReply->deleteLater();
    m_pReply = nullptr;
    emit onDownloadFinished(m_eDownloadType);
}

void CNetworkDownloadManager::httpFinished() {
    if (!m_pReply) return;
    m_transferTimer.stop();
    if (m_pFile) {
        m_pFile->flush();
        m_pFile->close();
    }
    const QVariant redirectionTarget = m_pReply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (m_pReply->error() != QNetworkReply::NoError) {
        finishFailed();
        return;
    }
    if (redirectionTarget.isNull()) {
        m_pReply->deleteLater();
        m_pReply = nullptr;
        delete m_pFile;
        m_pFile = nullptr;
        emit onDownloadFinished(m_eDownloadType);
        return;
    }

    const QUrl next = m_url.resolved(redirectionTarget.toUrl());
    // An endless chain, and a configuration file leaving https for plain http,
    // end the download as a network error.
    const bool downgrade = isConfigDownload() &&
                           m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
                           next.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
    if (++m_nRedirects > kMaxRedirects || downgrade || !next.isValid()) {
        qCDebug(lcTransfer) << "httpFinished======redirect refused=====" << next.toString();
        finishFailed();
        return;
    }
    m_url = next;
    m_pReply->deleteLater();
    m_pReply = nullptr;
    if (m_pFile) {
        m_pFile->open(QIODevice::WriteOnly);
        m_pFile->resize(0);
    }
    StartRequest(m_url);
}
