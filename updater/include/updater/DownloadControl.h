#pragma once
// Turns "download this URL into this folder" into one task of the download
// service (16 connections) and watches it from a worker thread of its own,
// which posts progress, completion and failure to the update facade (its
// parent) as queued calls of the facade's signals:
//   signalDownloadProgress(int)        while the task downloads (0..100)
//   signalDownloadFinished()           the file stands at its target
//   singalHttpReturnError(QString)     "Download failed." (failed or incomplete)
// The worker reaches the facade only while the facade exists: detachFacade()
// (called by the facade's destructor) ends every worker at its next poll.
//
// The class also keeps a part-by-part download path over network replies
// (SubPartFinished, slotComputeDownloadProgress); nothing starts it.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <memory>

#include "updater/DownloadServiceCalls.h"

class Download;
class QFile;

// The worker's hold on the facade: cleared when the facade goes.
struct FacadeLink;

class DownloadControl : public QObject {
    Q_OBJECT
public:
    explicit DownloadControl(QObject* parent = nullptr);
    ~DownloadControl() override;

    // Starts the download of `url` into `folder` + "/" + targetFileName(url):
    // 0 when the task was started, -2 when the service refused to start it.
    int StartDownload(const QString& url, const QString& folder);

    // The file name a download of `url` is saved under: the text after the
    // URL's last "/" or "\\" (a query stays part of it), reduced to one safe
    // path segment: control characters and lone surrogates become "_",
    // leading dots and blanks go (no ".", "..", or hidden name), cut to at
    // most kMaxFileNameBytes of UTF-8 between two whole characters;
    // "index.html" when nothing is left.
    static QString targetFileName(const QString& url);
    static constexpr int kMaxFileNameBytes = 200;

    QString filePath() const { return m_strFilePath; }

    // From now on no worker of this object calls into the facade.
    void detachFacade();

    // The worker's wait between two queries (800 ms); tests may shorten it.
    static void setPollIntervalForTesting(int milliseconds);

    // The percentage shown for a status: none (-1) unless the task downloads
    // with a known, non-zero size; otherwise the fraction done times 100, cut
    // toward zero, within 0..100.
    static int progressPercent(const DownloadTaskStatus& status);

signals:
    void FileDownloadFinished();
    void signalDownloadProgress(int percent);

public slots:
    void SubPartFinished(int index);
    void slotComputeDownloadProgress();
    void slotDownloadProgress(int index, qlonglong received, qlonglong total);

private:
    QString m_strFilePath;
    int m_nPartCount = 0;
    int m_nFinishedParts = 0;
    int m_nTotalSize = 0;
    QByteArray* m_pPartBuffer = nullptr;
    QList<Download*> m_listParts;
    QUrl m_url;
    QFile* m_pFile = nullptr;
    QTimer m_timer;
    std::shared_ptr<FacadeLink> m_link;
};

// The worker body: queries task `id` every poll interval and posts to the
// facade behind `link` until the task has finished, failed or ended
// incomplete, or the facade has gone.
void PollDownloadTask(uint32_t id, std::shared_ptr<FacadeLink> link);
