#include "HttpGet.h"

#include <QDebug>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextStream>
#include <QUrl>

#include "platform/Programs.h"

HttpGet::HttpGet(QObject* parent) : QObject(parent), m_pManager(new QNetworkAccessManager(this)) {
    connect(m_pManager, &QNetworkAccessManager::finished, this, &HttpGet::slotGetFinished);
}

int HttpGet::get(const QString& url) {
    m_strLastUrl = m_strCurrentUrl;
    m_strCurrentUrl = url;
    send(url);
    return 0;
}

void HttpGet::send(const QString& url) { m_pManager->get(QNetworkRequest(QUrl(url, QUrl::TolerantMode))); }

void HttpGet::writeVersionNotes(const QString& body) {
    const QString path = platform::applicationDir() + QStringLiteral("/ver.txt");
    qDebug() << "Zn LiveUpdate: ver file" << path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
    QTextStream stream(&file);  // the local 8-bit encoding
    stream << body << "\n";
}

void HttpGet::slotGetFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError) {
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
            emit reportError(tr("Network error: %1,please check the network.").arg(reply->errorString()));
            return;
        }
    } else {
        m_strLastUrl = m_strCurrentUrl;
        ++m_nRetryCount;
    }
    send(m_strCurrentUrl);
}
