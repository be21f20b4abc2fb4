#pragma once
// A small GET client for the update server. A failing request is sent again
// until it has been sent four times in all; then reportError carries
// "Network error: %1,please check the network.". Every request has a time
// limit (kRequestTimeoutMs); a request that runs out of it is aborted and
// counts as a failed send, and so does a reply beyond kMaxReplyBytes.
// Redirections are not
// followed. One request is in flight at a time: every query is sent from the
// handler of the previous reply.
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

class HttpGet : public QObject {
    Q_OBJECT
public:
    explicit HttpGet(QObject* parent = nullptr);

    // Sends a GET of `url` (parsed tolerantly); the reply comes back through
    // signalGetFinished or, after the retries, reportError. Returns 0.
    int get(const QString& url);

    // The time limit of one request, from its send to the end of its reply.
    static constexpr int kRequestTimeoutMs = 30000;
    // The largest reply body taken (release notes included); a larger one is
    // aborted and counts as a failed send.
    static constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;
    // Tests may shorten it (0 or less: the default again); it applies to
    // requests sent from then on.
    static void setRequestTimeoutForTesting(int milliseconds);

signals:
    void signalGetFinished(QString replyUrl, QString body);
    void reportError(QString text);

public slots:
    void slotGetFinished(QNetworkReply* reply);

private:
    void send(const QString& url);
    void writeVersionNotes(const QString& body);

    QNetworkAccessManager* m_pManager = nullptr;
    QString m_strCurrentUrl;
    QString m_strLastUrl;
    qint16 m_nRetryCount = 0;
};
