#include "testsupport/TestSmtpServer.h"

#include "testsupport/ServerUtil.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSslCertificate>
#include <QThread>

namespace testsupport {

namespace {

// Debian's aiosmtpd belongs to the system interpreter, not to whatever python3
// comes first on PATH.
const char kPython[] = "/usr/bin/python3";

const char* stageName(int stage) {
    static const char* const names[] = {"MAIL", "RCPT", "DATA"};
    return names[stage];
}

}  // namespace

TestSmtpServer::TestSmtpServer() : TestServer(QStringLiteral("smtp")) { m_prefix.makeDir(QStringLiteral("mail")); }

void TestSmtpServer::setSecurity(Security security) { m_security = security; }

int TestSmtpServer::port() const { return m_ports.isEmpty() ? 0 : m_ports.first(); }

QString TestSmtpServer::mailDir() const { return m_prefix.path() + QStringLiteral("/mail"); }

QString TestSmtpServer::caCertPath() const { return m_caCert; }

QSslConfiguration TestSmtpServer::sslConfiguration() const {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = config.caCertificates();
    cas += QSslCertificate::fromPath(m_caCert, QSsl::Pem);
    config.setCaCertificates(cas);
    return config;
}

void TestSmtpServer::setReject(Stage stage, const QString& reply) {
    m_rejects[static_cast<int>(stage)] = reply;
    writeControl();
}

void TestSmtpServer::setDelay(Stage stage, int ms) {
    m_delaysMs[static_cast<int>(stage)] = ms < 0 ? 0 : ms;
    writeControl();
}

void TestSmtpServer::writeControl() const {
    QJsonObject reject;
    QJsonObject delay;
    for (int i = 0; i < 3; ++i) {
        if (!m_rejects[i].isEmpty()) reject.insert(QLatin1String(stageName(i)), m_rejects[i]);
        if (m_delaysMs[i] > 0) delay.insert(QLatin1String(stageName(i)), m_delaysMs[i] / 1000.0);
    }
    // Replaced in one step: the server never reads half a file.
    QSaveFile f(m_prefix.path() + QStringLiteral("/control.json"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write(
            QJsonDocument(QJsonObject{{QStringLiteral("reject"), reject}, {QStringLiteral("delay"), delay}}).toJson());
        f.commit();
    }
}

bool TestSmtpServer::start(const QString& user, const QString& password, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!QFileInfo(QString::fromLatin1(kPython)).isExecutable())
        return fail(missingBinaryMessage(QString::fromLatin1(kPython)));
    if (m_security != Security::Plain && m_caCert.isEmpty()) {
        TestCertificates certs;
        if (!makeTestCertificates(m_prefix.path() + QStringLiteral("/tls"), &certs, error)) return false;
        m_caCert = certs.caCert;
        m_serverCert = certs.serverCert;
        m_serverKey = certs.serverKey;
    }
    writeControl();

    auto prepare = [&](const QList<int>& ports, Launch* l, QString*) {
        l->program = QString::fromLatin1(kPython);
        l->arguments = QStringList{QStringLiteral("-u"),        QStringLiteral(ZN_SMTP_SERVER_SCRIPT),
                                   QStringLiteral("--port"),    QString::number(ports.first()),
                                   QStringLiteral("--maildir"), mailDir(),
                                   QStringLiteral("--control"), m_prefix.path() + QStringLiteral("/control.json")};
        if (!user.isEmpty())
            l->arguments << QStringLiteral("--user") << user << QStringLiteral("--password") << password;
        if (m_security != Security::Plain) {
            l->arguments << QStringLiteral("--security")
                         << (m_security == Security::Ssl ? QStringLiteral("ssl") : QStringLiteral("starttls"))
                         << QStringLiteral("--cert") << m_serverCert << QStringLiteral("--key") << m_serverKey;
        }
        l->graceMs = 3000;
        return true;
    };
    return launch(QStringLiteral("smtp server"), 1, prepare, error);
}

QList<ReceivedMail> TestSmtpServer::messages(int atLeast, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QList<ReceivedMail> mails;
        // Folders whose names start with "." are still being written.
        const QStringList names = QDir(mailDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            const QString dir = mailDir() + QLatin1Char('/') + name;
            QFile env(dir + QStringLiteral("/envelope.json"));
            QFile data(dir + QStringLiteral("/message.eml"));
            if (!env.open(QIODevice::ReadOnly) || !data.open(QIODevice::ReadOnly)) continue;
            const QJsonObject o = QJsonDocument::fromJson(env.readAll()).object();
            ReceivedMail m;
            m.mailFrom = o.value(QStringLiteral("mail_from")).toString();
            for (const QJsonValue& r : o.value(QStringLiteral("rcpt_tos")).toArray()) m.recipients << r.toString();
            m.login = o.value(QStringLiteral("login")).toString();
            m.mechanism = o.value(QStringLiteral("mechanism")).toString();
            m.tls = o.value(QStringLiteral("tls")).toBool();
            m.data = data.readAll();
            mails.append(m);
        }
        if (mails.size() >= atLeast || deadline.hasExpired()) return mails;
        QThread::msleep(20);
    }
}

}  // namespace testsupport
