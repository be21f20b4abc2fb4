#pragma once
// A real SMTP server (aiosmtpd, tests/support/smtp_server.py) on 127.0.0.1 for
// tests. With a user name it offers AUTH PLAIN and AUTH LOGIN on the plain
// connection, accepts only that user name and password (535 otherwise) and
// requires authentication before MAIL (530). Each accepted message is stored
// and can be read back with messages().
//
//   TestSmtpServer smtp;
//   QVERIFY2(smtp.start("user", "secret", &error), qPrintable(error));
//   ... send to 127.0.0.1:smtp.port() ...
//   QList<ReceivedMail> mails = smtp.messages(1);   // waits for one message
//
// setReject()/setDelay() change the replies while the server runs.
#include "testsupport/TestServer.h"

#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

namespace testsupport {

struct ReceivedMail {
    QString mailFrom;        // envelope sender (MAIL FROM)
    QStringList recipients;  // envelope recipients (RCPT TO), in order
    QByteArray data;         // the DATA bytes as received, dot-unstuffed, CRLF line ends
    QString login;           // authenticated user name; empty without AUTH
    QString mechanism;       // "PLAIN" or "LOGIN"; empty without AUTH
    bool tls = false;        // the mail came over TLS (SSL or STARTTLS)
};

class TestSmtpServer : public TestServer {
public:
    TestSmtpServer();

    // Plain TCP (default), TLS from the first byte, or plain with STARTTLS. The
    // certificate is issued for "localhost"/127.0.0.1 by caCertPath().
    enum class Security { Plain, Ssl, StartTls };
    void setSecurity(Security security);

    // Empty user: no AUTH offered, none required.
    bool start(const QString& user = QString(), const QString& password = QString(), QString* error = nullptr);
    bool start(QString* error) { return start(QString(), QString(), error); }

    int port() const;

    // Commands whose reply can be changed while the server runs.
    enum class Stage { Mail, Rcpt, Data };
    // Answers the command with `reply` (e.g. "550 No such user") instead of
    // accepting it; an empty reply accepts again.
    void setReject(Stage stage, const QString& reply);
    // Waits `ms` before replying to the command (0: no wait).
    void setDelay(Stage stage, int ms);

    QString caCertPath() const;
    QSslConfiguration sslConfiguration() const;

    QString mailDir() const;
    // Messages received so far, oldest first. With atLeast > 0 waits (up to
    // timeoutMs) until that many have arrived.
    QList<ReceivedMail> messages(int atLeast = 0, int timeoutMs = 5000) const;

private:
    void writeControl() const;

    Security m_security = Security::Plain;
    QString m_rejects[3];
    int m_delaysMs[3] = {0, 0, 0};
    QString m_caCert;
    QString m_serverCert;
    QString m_serverKey;
};

}  // namespace testsupport
