#include "updater/libAutoUpdate.h"

#include <QDebug>

#include "UpdaterLogging.h"
#include "updater/DownloadControl.h"
#include "updater/HttpGet.h"

libAutoUpdate::libAutoUpdate(QObject* parent, const QString& serverUrl)
    : QObject(parent),
      m_pHttpGet(new HttpGet(this)),
      m_pDownloadControl(new DownloadControl(this)),
      m_strServerUrl(serverUrl) {
    connect(m_pHttpGet, &HttpGet::signalGetFinished, this, &libAutoUpdate::slotGetInfo);
    connect(m_pDownloadControl, &DownloadControl::signalDownloadProgress, this, &libAutoUpdate::slotDownloadProgress);
    connect(m_pDownloadControl, &DownloadControl::FileDownloadFinished, this, &libAutoUpdate::slotDownloadFinished);
    connect(m_pHttpGet, &HttpGet::reportError, this, &libAutoUpdate::slotGetHttpReportError);
}

libAutoUpdate::~libAutoUpdate() {
    // The download workers post to this object: they must stop before it goes.
    for (DownloadControl* control : findChildren<DownloadControl*>(QString(), Qt::FindDirectChildrenOnly))
        control->detachFacade();
}

const QStringList& libAutoUpdate::typeNames() {
    static const QStringList names = {QStringLiteral("ver"), QStringLiteral("info"), QStringLiteral("link"),
                                      QStringLiteral("exinfo")};
    return names;
}

QString libAutoUpdate::queryUrl(const QString& pid, int type) const {
    return m_strServerUrl + QStringLiteral("pid=") + pid + QStringLiteral("&") + QStringLiteral("type=") +
           typeNames().value(type);
}

int libAutoUpdate::GetUrl(const QString& url) { return m_pHttpGet->get(url); }

int libAutoUpdate::GetInfo(const QString& pid, const int& type) {
    qCDebug(lcUpdaterCheck) << "pid = " << pid << "type = " << type;
    return m_pHttpGet->get(queryUrl(pid, type));
}

int libAutoUpdate::GetInfoLang(const QString& pid, const int& type, const QString& lang) {
    QString url = queryUrl(pid, type);
    if (type == kInfoInfo) url += QStringLiteral("&") + QStringLiteral("lang=") + lang;
    return m_pHttpGet->get(url);
}

int libAutoUpdate::StartDownload(const QString& url, const QString& folder) {
    return m_pDownloadControl->StartDownload(url, folder);
}

int libAutoUpdate::ResetDownload() {
    if (m_pDownloadControl) {
        m_pDownloadControl->detachFacade();
        delete m_pDownloadControl;
    }
    m_pDownloadControl = new DownloadControl(this);
    return 0;
}

QString libAutoUpdate::GetDownloadFilePath() const {
    return m_pDownloadControl ? m_pDownloadControl->filePath() : QString();
}

QString libAutoUpdate::typeValueOf(const QString& replyUrl) {
    // Without "type=" p is -1: the search for "&" then starts at the last
    // character and the value is the text from the fifth character on, which
    // names a type only by accident.
    const int p = replyUrl.indexOf(QStringLiteral("type="));
    const int q = replyUrl.indexOf(QLatin1Char('&'), p);
    if (q - p > 0) return replyUrl.mid(p + 5, q - p - 5);
    return replyUrl.mid(p + 5);
}

void libAutoUpdate::slotGetInfo(QString replyUrl, QString body) {
    const int type = typeNames().indexOf(typeValueOf(replyUrl));
    if (type >= 0) {
        emit signalGetInfo(type, body);
        return;
    }
    if (!replyUrl.isEmpty()) emit signalGetInfo(kInfoOtherUrl, body);
    emit signalGetInfo(-1, body);
}

void libAutoUpdate::slotDownloadProgress(int percent) { emit signalDownloadProgress(percent); }

void libAutoUpdate::slotDownloadFinished() { emit signalDownloadFinished(); }

void libAutoUpdate::slotGetHttpReportError(QString text) { emit singalHttpReturnError(text); }
