#pragma once
// One HTTP(S) download at a time into a file of the application folder: the
// configuration files at start and the iTunes installer. A request that moves
// no data for TransferTimeoutMs() (a server that accepts and never answers, or
// stops in the middle) is ended as a network error.
#include <QFile>
#include <QMetaType>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include "types/CommonTypes.h"

class CNetworkDownloadManager : public QObject {
    Q_OBJECT
public:
    // Redirects followed for one download before it is ended as a network error.
    static constexpr int kMaxRedirects = 10;
    // How long a request may go without receiving anything: from its send to
    // the first bytes, and between any two pieces of the body.
    static constexpr int kTransferTimeoutMs = 30000;

    // The limit in force: kTransferTimeoutMs unless a test set another one
    // (0 or less: back to kTransferTimeoutMs). It applies to requests sent
    // from then on.
    static int TransferTimeoutMs();
    static void SetTransferTimeoutMs(int timeoutMs);

    explicit CNetworkDownloadManager(QObject* parent = nullptr);
    ~CNetworkDownloadManager() override;

    // Saves `url` as application folder + "/" + fileName. Ends with one
    // onDownloadFinished(type); a download that fails leaves no file.
    void StartDownload(QString fileName, QUrl url, DOWNLOADTYPE type);

signals:
    void onDownloadFinished(DOWNLOADTYPE type);
    void SignalDownloadiTunesProcess(qlonglong bytesReceived, qlonglong bytesTotal);

public slots:
    void httpFinished();
    void httpReadyRead();
    void updateDataReadProgress(qlonglong bytesReceived, qlonglong bytesTotal);

private:
    void StartRequest(QUrl url);
    void finishFailed();
    // No data came within the time limit: the request ends as a network error.
    void transferTimedOut();
    bool isConfigDownload() const;

    DOWNLOADTYPE m_eDownloadType;
    QUrl m_url;
    QNetworkAccessManager m_networkManager;
    QNetworkReply* m_pReply;
    QFile* m_pFile;
    int m_nRedirects;
    // Restarted by every piece of data; runs only while a request is out.
    QTimer m_transferTimer;
};

// The end signal can be queued and spied on.
Q_DECLARE_METATYPE(DOWNLOADTYPE)
