#pragma once
// One part of the part-by-part download path of DownloadControl: a network
// reply whose data is written into the shared target file from the part's
// start offset on. Nothing in the updater starts this path; the download
// service does the downloads.
#include <QElapsedTimer>
#include <QObject>

class QFile;
class QNetworkReply;

class Download : public QObject {
    Q_OBJECT
public:
    Download(int index, QNetworkReply* reply, QFile* file, qint64 startOffset, QObject* parent = nullptr);

    qint64 bytesReceived() const { return m_nBytesReceived; }

signals:
    void DownloadFinished(int index);
    void signalDownloadProgress(int index, qlonglong received, qlonglong total);

public slots:
    void slotDownloadProgress(qlonglong received, qlonglong total);
    void FinishedSlot();
    void HttpReadyRead();

private:
    QNetworkReply* m_pReply = nullptr;
    QFile* m_pFile = nullptr;
    int m_nIndex = 0;
    qint64 m_nStartOffset = 0;
    qint64 m_nBytesWritten = 0;
    qint64 m_nBytesReceived = 0;
    QElapsedTimer m_clock;
};
