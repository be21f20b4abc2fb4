#include "Download.h"

#include <QFile>
#include <QNetworkReply>

Download::Download(int index, QNetworkReply* reply, QFile* file, qint64 startOffset, QObject* parent)
    : QObject(parent),
      m_pReply(reply),
      m_pFile(file),
      m_nIndex(index),
      m_nStartOffset(startOffset) {
    m_clock.start();
    connect(m_pReply, &QNetworkReply::readyRead, this, &Download::HttpReadyRead);
    connect(m_pReply, &QNetworkReply::downloadProgress, this, &Download::slotDownloadProgress);
    connect(m_pReply, &QNetworkReply::finished, this, &Download::FinishedSlot);
}

void Download::HttpReadyRead() {
    const QByteArray data = m_pReply->readAll();
    if (!m_pFile || data.isEmpty()) return;
    m_pFile->seek(m_nStartOffset + m_nBytesWritten);
    m_pFile->write(data);
    m_nBytesWritten += data.size();
}

void Download::slotDownloadProgress(qlonglong received, qlonglong total) {
    if (received <= total) m_nBytesReceived = received;
    // The rate is worked out as the part path always did; nothing shows it.
    const double seconds = m_clock.elapsed() / 1000.0;
    double rate = seconds > 0 ? m_nBytesReceived / seconds : 0;
    QString unit;
    if (rate < 1024) {
        unit = QStringLiteral("bytes/sec");
    } else if (rate < 1048576) {
        rate /= 1024;
        unit = QStringLiteral("kB/s");
    } else {
        rate /= 1048576;
        unit = QStringLiteral("MB/s");
    }
    Q_UNUSED(unit);
    emit signalDownloadProgress(m_nIndex, received, total);
}

void Download::FinishedSlot() {
    if (m_pFile) m_pFile->flush();
    m_pReply->deleteLater();
    emit DownloadFinished(m_nIndex);
}
