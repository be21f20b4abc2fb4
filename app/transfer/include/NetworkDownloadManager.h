#pragma once
// One HTTP(S) download at a time into a file of the application folder: the
// configuration files at start and the iTunes installer.
#include <QFile>
#include <QMetaType>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

#include "CommonTypes.h"

class CNetworkDownloadManager : public QObject {
    Q_OBJECT
public:
    // Redirects followed for one download before it is ended as a network error.
    static constexpr int kMaxRedirects = 10;

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
    bool isConfigDownload() const;

    DOWNLOADTYPE m_eDownloadType;
    QUrl m_url;
    QNetworkAccessManager m_networkManager;
    QNetworkReply* m_pReply;
    QFile* m_pFile;
    int m_nRedirects;
};

// The end signal can be queued and spied on.
Q_DECLARE_METATYPE(DOWNLOADTYPE)
