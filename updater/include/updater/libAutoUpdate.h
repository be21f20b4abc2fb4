#pragma once
// The facade between the update window and the network: builds the update
// server's query URLs, fetches them (and any further URL) through HttpGet,
// tells each reply's kind from the "type=" value of its URL, relays errors,
// and hands the installer download to DownloadControl.
//
// Query URL: server URL + "pid=" + id + "&type=" + name, and for "info" also
// "&lang=" + language. Replies are reported by signalGetInfo(type, body) with
// the UpdateInfoType of the reply's URL; a URL without a known type (the
// release notes, the digest) is reported as 100 and then as -1.
#include <QObject>
#include <QString>
#include <QStringList>

class DownloadControl;
class HttpGet;

// The update-server query types: indexes into libAutoUpdate::typeNames().
enum UpdateInfoType { kInfoVer = 0, kInfoInfo = 1, kInfoLink = 2, kInfoExinfo = 3, kInfoOtherUrl = 100 };

class libAutoUpdate : public QObject {
    Q_OBJECT
public:
    libAutoUpdate(QObject* parent, const QString& serverUrl);
    ~libAutoUpdate() override;

    // "ver", "info", "link", "exinfo".
    static const QStringList& typeNames();
    // The type name carried by a reply URL ("type=" up to the next "&").
    static QString typeValueOf(const QString& replyUrl);

    virtual int GetUrl(const QString& url);
    virtual int GetInfo(const QString& pid, const int& type);
    virtual int GetInfoLang(const QString& pid, const int& type, const QString& lang);
    // 0 when the download was started, -2 when not.
    virtual int StartDownload(const QString& url, const QString& folder);
    virtual int ResetDownload();

    // The file the last StartDownload targets.
    QString GetDownloadFilePath() const;

signals:
    void signalGetInfo(int type, QString body);
    void signalDownloadProgress(int percent);
    void signalDownloadFinished();
    void singalHttpReturnError(QString text);

public slots:
    void slotGetInfo(QString replyUrl, QString body);
    void slotDownloadProgress(int percent);
    void slotDownloadFinished();
    void slotGetHttpReportError(QString text);

private:
    QString queryUrl(const QString& pid, int type) const;

    QString m_strUnused;
    HttpGet* m_pHttpGet = nullptr;
    DownloadControl* m_pDownloadControl = nullptr;
    QString m_strServerUrl;
};
