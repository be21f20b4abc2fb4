// The SMTP client against a scripted server: the exact command lines, replies
// that span lines or arrive in pieces, error replies, silence (short
// time-outs here), the recipient spellings and order, DATA transparency, and
// the STARTTLS upgrade (the scripted server turns TLS on with a throw-away
// certificate).
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "mail/EmailAddress.h"
#include "mail/MimeMessage.h"
#include "mail/MimeText.h"
#include "mail/SmtpClient.h"
#include "support/MailTestSupport.h"
#include "support/ScriptedSmtpServer.h"
#include "testsupport/ServerUtil.h"

using Session = ScriptedSmtpServer::Session;

namespace {

void greet(Session& s) {
    s.send("220 scripted ESMTP\r\n");
    s.expect("EHLO localhost", "250-scripted\r\n250-PIPELINING\r\n250 AUTH PLAIN LOGIN\r\n");
}

// Replies 250 to MAIL and every RCPT, 354 to DATA, 250 to the data; returns
// the raw data.
QByteArray acceptMail(Session& s, int recipients) {
    if (!s.readLine().startsWith("MAIL FROM:")) return QByteArray();
    s.send("250 ok\r\n");
    for (int i = 0; i < recipients; ++i) {
        if (!s.readLine().startsWith("RCPT TO:")) return QByteArray();
        s.send("250 ok\r\n");
    }
    if (!s.expect("DATA", "354 go ahead\r\n")) return QByteArray();
    const QByteArray data = s.readData();
    s.send("250 queued\r\n");
    return data;
}

struct Client {
    explicit Client(int port, int responseTimeoutMs = 5000, SmtpClient::ConnectionType type = SmtpClient::TcpConnection)
        : smtp(new SmtpClient(QStringLiteral("127.0.0.1"), port, type)) {
        smtp->setResponseTimeout(responseTimeoutMs);
        smtp->setSendMessageTimeout(5000);
        QObject::connect(smtp.get(), &SmtpClient::smtpError, [this](SmtpClient::SmtpError e) { errors << e; });
    }
    std::unique_ptr<SmtpClient> smtp;
    QList<int> errors;
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void fillMessage(MimeMessage& message, MimeText& text) {
    message.setSender(new EmailAddress(QStringLiteral("from@x.example"), QStringLiteral("From")));
    message.addRecipient(new EmailAddress(QStringLiteral("to@x.example")));
    message.addPart(&text);
}

}  // namespace

class TestSmtpWire : public QObject {
    Q_OBJECT

    QTemporaryDir m_certificateDir;
    testsupport::TestCertificates m_certificates;

    // The server answers STARTTLS with the test certificate and its key.
    void giveTlsIdentity(ScriptedSmtpServer& server) const {
        server.setTlsIdentity(QSslCertificate::fromPath(m_certificates.serverCert).value(0),
                              QSslKey(readFile(m_certificates.serverKey), QSsl::Ec));
    }
    // The client trusts the test certificates' authority besides its own.
    void trustTestAuthority(QSslSocket* socket) const {
        QSslConfiguration config = socket->sslConfiguration();
        config.setCaCertificates(config.caCertificates() + QSslCertificate::fromPath(m_certificates.caCert));
        socket->setSslConfiguration(config);
    }

private slots:
    void initTestCase() {
        ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
        QString error;
        QVERIFY2(testsupport::makeTestCertificates(m_certificateDir.path(), &m_certificates, &error),
                 qPrintable(error));
    }

    void multiLineRepliesCountByTheirLastLine() {
        ScriptedSmtpServer server;
        QVERIFY(server.start([](Session& s) {
            // A greeting of two lines, one line too short to end a reply.
            s.send("220-first\r\n22\r\n220 second\r\n");
            s.expect("EHLO localhost", "250-scripted\r\n250-550 not a code here\r\n250 HELP\r\n");
            s.waitForClose();
        }));
        Client c(server.port());
        QVERIFY(c.smtp->connectToHost());
        QCOMPARE(c.smtp->getResponseCode(), 250);
        QCOMPARE(c.smtp->getResponseText(), QStringLiteral("250 HELP\r\n"));
        QVERIFY(c.errors.isEmpty());
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines(), QList<QByteArray>({"EHLO localhost"}));
    }

    // Every piece is waited for anew: a line split over two writes is read whole.
    void repliesInPieces() {
        ScriptedSmtpServer server;
        QVERIFY(server.start([](Session& s) {
            s.send("22");
            s.pause(150);
            s.send("0 ready\r\n");
            if (s.readLine() != "EHLO localhost") return;
            s.send("250-one\r\n250");
            s.pause(150);
            s.send(" two\r\n");
            s.waitForClose();
        }));
        Client c(server.port());
        QVERIFY(c.smtp->connectToHost());
        QCOMPARE(c.smtp->getResponseText(), QStringLiteral("250 two\r\n"));
    }

    void errorReplies_data() {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("ehloReply");
        QTest::addColumn<QList<int>>("errors");
        QTest::newRow("greeting 421") << QByteArray("421 busy\r\n") << QByteArray()
                                      << QList<int>{SmtpClient::ServerError, SmtpClient::ServerError};
        QTest::newRow("greeting 554") << QByteArray("554 go away\r\n") << QByteArray()
                                      << QList<int>{SmtpClient::ClientError, SmtpClient::ServerError};
        QTest::newRow("ehlo 502") << QByteArray("220 hi\r\n") << QByteArray("502 no\r\n")
                                  << QList<int>{SmtpClient::ClientError, SmtpClient::ServerError};
        QTest::newRow("ehlo 251") << QByteArray("220 hi\r\n") << QByteArray("251 odd\r\n")
                                  << QList<int>{SmtpClient::ServerError};
    }
    void errorReplies() {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, ehloReply);
        QFETCH(QList<int>, errors);
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            s.send(greeting);
            if (!ehloReply.isEmpty()) s.expect("EHLO localhost", ehloReply);
            s.waitForClose();
        }));
        Client c(server.port());
        QVERIFY(!c.smtp->connectToHost());
        QCOMPARE(c.errors, errors);
    }

    // Silence at each step ends the step with its time-out (short here).
    void silentServer_data() {
        QTest::addColumn<int>("silentAt");  // 0 greeting, 1 EHLO, 2 AUTH, 3 MAIL, 4 end of data
        QTest::newRow("greeting") << 0;
        QTest::newRow("ehlo") << 1;
        QTest::newRow("auth") << 2;
        QTest::newRow("mail from") << 3;
        QTest::newRow("end of data") << 4;
    }
    void silentServer() {
        QFETCH(int, silentAt);
        ScriptedSmtpServer server;
        QVERIFY(server.start([silentAt](Session& s) {
            if (silentAt > 0) s.send("220 hi\r\n");
            if (silentAt > 1) s.expect("EHLO localhost", "250 ok\r\n");
            if (silentAt > 2) s.readLine(), s.send("235 ok\r\n");
            if (silentAt > 3) {
                s.readLine(), s.send("250 ok\r\n");
                s.readLine(), s.send("250 ok\r\n");
                s.expect("DATA", "354 go\r\n");
                s.readData();
            }
            s.waitForClose();
        }));
        Client c(server.port(), 300);
        MimeMessage message;
        MimeText text(QStringLiteral("x"));
        fillMessage(message, text);
        const bool connected = c.smtp->connectToHost();
        QCOMPARE(connected, silentAt > 1);
        if (silentAt <= 1) {
            QCOMPARE(c.errors, QList<int>{SmtpClient::ResponseTimeoutError});
            return;
        }
        const bool loggedIn = c.smtp->login(QStringLiteral("u"), QStringLiteral("p"));
        QCOMPARE(loggedIn, silentAt > 2);
        if (silentAt == 2) {
            QCOMPARE(c.errors, QList<int>({SmtpClient::ResponseTimeoutError, SmtpClient::AuthenticationFailedError}));
            return;
        }
        QVERIFY(!c.smtp->sendMail(message));
        QCOMPARE(c.errors, QList<int>{SmtpClient::ResponseTimeoutError});
    }

    // One deadline for a whole reply: a greeting that comes one byte every
    // 100 ms, whole only after 4 s, ends with the 1.5 s time-out, although no
    // single wait for a byte is that long; no EHLO is ever sent.
    void tricklingGreetingEndsWithTheTimeout() {
        ScriptedSmtpServer server;
        QVERIFY(server.start([](Session& s) {
            if (s.drip("220 " + QByteArray(36, 's') + "\r\n", 100)) s.waitForClose();
        }));
        Client c(server.port(), 1500);
        QVERIFY(!c.smtp->connectToHost());
        QCOMPARE(c.errors, QList<int>{SmtpClient::ResponseTimeoutError});
        QVERIFY(c.smtp->getResponseText().isEmpty());
        c.smtp.reset();
        server.finish();
        QVERIFY(server.lines().isEmpty());
    }

    // A server that never ends its line, or never ends its reply, is cut off
    // at the reply's size limit: ServerError, the connection dropped, and far
    // less read than the server had to give.
    void endlessReplies_data() {
        QTest::addColumn<QByteArray>("chunk");
        QTest::newRow("endless line") << QByteArray("220 ") + QByteArray(64 * 1024 - 4, 'x');
        QByteArray lines;
        while (lines.size() < 64 * 1024) lines += "220-" + QByteArray(60, 'y') + "\r\n";
        QTest::newRow("endless multi-line reply") << lines;
    }
    void endlessReplies() {
        QFETCH(QByteArray, chunk);
        const qint64 limit = 64 * 1024 * 1024;
        qint64 sent = 0;
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) { sent = s.stream(chunk, limit); }));
        Client c(server.port());
        QVERIFY(!c.smtp->connectToHost());
        QCOMPARE(c.errors, QList<int>{SmtpClient::ServerError});
        QCOMPARE(c.smtp->getSocket()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(c.smtp->getSocket()->bytesAvailable(), 0);
        c.smtp.reset();
        server.finish();
        QVERIFY2(sent < limit, qPrintable(QString::number(sent)));
        QVERIFY(server.lines().isEmpty());
    }

    // The limits at their edges: a line of 2048 bytes and a reply of 65536
    // (line ends included) are read; one byte more is too long.
    void replyLimits_data() {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("accepted");
        auto line = [](int bytes, char sep) {
            return "220" + QByteArray(1, sep) + QByteArray(bytes - 6, 'l') + "\r\n";
        };
        // Continuation lines of at most 2048 bytes and the last line, in all
        // `total` bytes.
        auto reply = [&](int total) {
            const QByteArray last = "220 end\r\n";
            QByteArray text;
            int rest = total - last.size();
            while (rest > 0) {
                const int size = qMin(rest, 2048);
                text += line(size, '-');
                rest -= size;
            }
            return text + last;
        };
        QTest::newRow("line of 2048") << line(2048, ' ') << true;
        QTest::newRow("line of 2049") << line(2049, ' ') << false;
        QTest::newRow("reply of 65536") << reply(65536) << true;
        QTest::newRow("reply of 65537") << reply(65537) << false;
    }
    void replyLimits() {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, accepted);
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            s.send(greeting);
            s.expect("EHLO localhost", "250 ok\r\n");
            s.waitForClose();
        }));
        Client c(server.port());
        QCOMPARE(c.smtp->connectToHost(), accepted);
        QCOMPARE(c.errors, accepted ? QList<int>{} : QList<int>{SmtpClient::ServerError});
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines().size(), accepted ? 1 : 0);
    }

    void noServer() {
        const mailtest::RefusingPort refusing;
        QVERIFY(refusing.port() > 0);
        Client c(refusing.port());
        QVERIFY(!c.smtp->connectToHost());
        QCOMPARE(c.errors, QList<int>{SmtpClient::ConnectionTimeoutError});
    }

    void login_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<int>>("errors");
        const QByteArray plain = "AUTH PLAIN " + QByteArray("\0us\xc3\xa9r\0pass word", 16).toBase64();
        const QByteArray user = QByteArray("us\xc3\xa9r").toBase64();
        const QByteArray pass = QByteArray("pass word").toBase64();
        QTest::newRow("plain") << int(SmtpClient::AuthPlain) << QList<QByteArray>{"235 ok\r\n"} << true
                               << QList<QByteArray>{plain} << QList<int>{};
        QTest::newRow("plain refused") << int(SmtpClient::AuthPlain) << QList<QByteArray>{"535 bad\r\n"} << false
                                       << QList<QByteArray>{plain}
                                       << QList<int>{SmtpClient::ClientError, SmtpClient::AuthenticationFailedError};
        QTest::newRow("login") << int(SmtpClient::AuthLogin)
                               << QList<QByteArray>{"334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n"}
                               << true << QList<QByteArray>{"AUTH LOGIN", user, pass} << QList<int>{};
        QTest::newRow("login user refused")
            << int(SmtpClient::AuthLogin) << QList<QByteArray>{"334 VXNlcm5hbWU6\r\n", "535 no\r\n"} << false
            << QList<QByteArray>{"AUTH LOGIN", user}
            << QList<int>{SmtpClient::ClientError, SmtpClient::AuthenticationFailedError};
        QTest::newRow("other method") << 7 << QList<QByteArray>{} << true << QList<QByteArray>{} << QList<int>{};
    }
    void login() {
        QFETCH(int, method);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(bool, result);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<int>, errors);
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            for (const QByteArray& reply : replies) {
                if (s.readLine().isEmpty()) return;
                s.send(reply);
            }
            s.waitForClose();
        }));
        Client c(server.port());
        c.smtp->setUser(QStringLiteral("stored"));
        QVERIFY(c.smtp->connectToHost());
        QCOMPARE(c.smtp->login(QString::fromUtf8("usér"), QStringLiteral("pass word"),
                               static_cast<SmtpClient::AuthMethod>(method)),
                 result);
        QCOMPARE(c.errors, errors);
        QCOMPARE(c.smtp->getUser(), QStringLiteral("stored"));
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines().mid(1), lines);
    }

    // Two To, one Cc, one Bcc: four RCPT lines in that order, the Bcc one with
    // a blank after the colon; then the data, the end, and QUIT.
    void envelopeLines() {
        QByteArray data;
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            data = acceptMail(s, 4);
            s.waitForClose();
        }));
        Client c(server.port());
        MimeMessage message;
        message.setSender(new EmailAddress(QStringLiteral("from@x.example"), QStringLiteral("Sender Name")));
        message.addRecipient(new EmailAddress(QStringLiteral("to1@x.example"), QStringLiteral("One")));
        message.addRecipient(new EmailAddress(QStringLiteral("to2@x.example")));
        message.addRecipient(new EmailAddress(QStringLiteral("cc@x.example")), MimeMessage::Cc);
        message.addRecipient(new EmailAddress(QStringLiteral("bcc@x.example")), MimeMessage::Bcc);
        MimeText text(QStringLiteral("hello"));
        message.addPart(&text);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->sendMail(message));
        c.smtp->quit();
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines(),
                 QList<QByteArray>({"EHLO localhost", "MAIL FROM: <from@x.example>", "RCPT TO:<to1@x.example>",
                                    "RCPT TO:<to2@x.example>", "RCPT TO:<cc@x.example>", "RCPT TO: <bcc@x.example>",
                                    "DATA", "<data>", "QUIT"}));
        QVERIFY(
            data.startsWith("From: Sender Name <from@x.example>\r\nTo: One <to1@x.example>, <to2@x.example>\r\n"
                            "Cc: <cc@x.example>\r\n"));
        QVERIFY(!data.contains("bcc"));
    }

    void recipientNot250_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("251 forwarded") << QByteArray("251 will forward\r\n");
        QTest::newRow("550 unknown") << QByteArray("550 no such user\r\n");
    }
    void recipientNot250() {
        QFETCH(QByteArray, reply);
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            s.readLine(), s.send("250 ok\r\n");
            s.readLine(), s.send(reply);
            s.waitForClose();
        }));
        Client c(server.port());
        MimeMessage message;
        MimeText text(QStringLiteral("x"));
        fillMessage(message, text);
        message.addRecipient(new EmailAddress(QStringLiteral("second@x.example")));
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(!c.smtp->sendMail(message));
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines().size(), 3);  // EHLO, MAIL, one RCPT; no second RCPT, no DATA
    }

    // The body is built with bare LF; on the wire every line ends with CRLF and
    // a line that begins with "." carries a second one, so a lone "." in the
    // user's text neither cuts the mail nor gets lost.
    void dataTransparency() {
        QByteArray data;
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            data = acceptMail(s, 1);
            s.waitForClose();
        }));
        Client c(server.port());
        MimeMessage message;
        MimeText text(QStringLiteral("first\n.\n..two\r\n.three\rlast"));
        fillMessage(message, text);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->sendMail(message));
        c.smtp.reset();
        server.finish();
        QVERIFY2(data.contains("\r\nfirst\r\n..\r\n...two\r\n..three\r\nlast\r\n"), data.constData());
        for (int i = data.indexOf('\n'); i >= 0; i = data.indexOf('\n', i + 1)) QCOMPARE(data.at(i - 1), '\r');
        for (int i = data.indexOf('\r'); i >= 0; i = data.indexOf('\r', i + 1)) QCOMPARE(data.at(i + 1), '\n');
    }

    // CR, LF or NUL in an address, the user or the password never reach the
    // wire: the step is refused before any command is written.
    void lineBreaksAreRefused_data() {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QString>("user");
        QTest::newRow("sender CRLF") << "a@x\r\nRCPT TO:<evil@x>"
                                     << "to@x"
                                     << "u";
        QTest::newRow("recipient LF") << "a@x"
                                      << "to@x\nDATA"
                                      << "u";
        QTest::newRow("recipient NUL") << "a@x" << QString::fromLatin1("to@x\0y", 6) << "u";
        // An address must also keep inside its angle brackets and carry no
        // parameters: '<', '>', blanks and other controls are refused too.
        QTest::newRow("recipient with parameter") << "a@x"
                                                  << "b@x> SIZE=1"
                                                  << "u";
        QTest::newRow("sender with <") << "a<@x"
                                       << "to@x"
                                       << "u";
        QTest::newRow("recipient with blank") << "a@x"
                                              << "to @x"
                                              << "u";
        QTest::newRow("recipient with tab") << "a@x"
                                            << "to@x\tz"
                                            << "u";
        QTest::newRow("sender with DEL") << "a@x\x7f"
                                         << "to@x"
                                         << "u";
        QTest::newRow("user CR") << "a@x"
                                 << "to@x"
                                 << "u\rAUTH";
    }
    void lineBreaksAreRefused() {
        QFETCH(QString, sender);
        QFETCH(QString, recipient);
        QFETCH(QString, user);
        ScriptedSmtpServer server;
        QVERIFY(server.start([](Session& s) {
            greet(s);
            if (s.readLine().startsWith("AUTH")) s.send("535 no\r\n");
            s.waitForClose();
        }));
        Client c(server.port());
        MimeMessage message;
        message.setSender(new EmailAddress(sender));
        message.addRecipient(new EmailAddress(recipient), MimeMessage::Bcc);
        MimeText text(QStringLiteral("x"));
        message.addPart(&text);
        QVERIFY(c.smtp->connectToHost());
        const bool userOk = !user.contains(QLatin1Char('\r'));
        QCOMPARE(c.smtp->login(user, QStringLiteral("p")), false);
        if (userOk) {
            QVERIFY(!c.smtp->sendMail(message));
        } else {
            QCOMPARE(c.errors, QList<int>{SmtpClient::AuthenticationFailedError});
        }
        c.smtp.reset();
        server.finish();
        // Only EHLO, and for a clean user its AUTH line, came in.
        QCOMPARE(server.lines().size(), userOk ? 2 : 1);
        if (userOk) QVERIFY(server.lines().at(1).startsWith("AUTH PLAIN "));
    }

    // STARTTLS: whatever the server sent after its 220 to STARTTLS came in
    // plain text, before the handshake, and must not be read as a reply under
    // TLS (an attacker on the path could append "250 ..." to the 220). Such
    // bytes end the connection before anything goes out under TLS.
    void startTls_data() {
        QTest::addColumn<QByteArray>("startTlsReply");
        QTest::addColumn<QByteArray>("ehloReplyUnderTls");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<int>>("errors");
        const QList<QByteArray> upgraded{"EHLO localhost", "STARTTLS", "EHLO localhost"};
        QTest::newRow("clean upgrade") << QByteArray("220 go ahead\r\n") << QByteArray("250 secure\r\n") << true
                                       << upgraded << QList<int>();
        QTest::newRow("refused under TLS") << QByteArray("220 go ahead\r\n") << QByteArray("554 no\r\n") << false
                                           << upgraded << QList<int>{SmtpClient::ClientError, SmtpClient::ServerError};
        QTest::newRow("line injected after 220")
            << QByteArray("220 go ahead\r\n250 INJECTED\r\n") << QByteArray("554 no\r\n") << false
            << QList<QByteArray>{"EHLO localhost", "STARTTLS"} << QList<int>{SmtpClient::ServerError};
        QTest::newRow("partial line injected after 220")
            << QByteArray("220 go ahead\r\n250") << QByteArray("554 no\r\n") << false
            << QList<QByteArray>{"EHLO localhost", "STARTTLS"} << QList<int>{SmtpClient::ServerError};
    }
    void startTls() {
        QFETCH(QByteArray, startTlsReply);
        QFETCH(QByteArray, ehloReplyUnderTls);
        QFETCH(bool, connected);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<int>, errors);
        ScriptedSmtpServer server;
        giveTlsIdentity(server);
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            // The 220 and whatever follows it go out in one write.
            if (!s.expect("STARTTLS", startTlsReply)) return;
            if (!s.startTls()) return;
            s.expect("EHLO localhost", ehloReplyUnderTls);
            s.waitForClose();
        }));
        Client c(server.port(), 5000, SmtpClient::TlsConnection);
        auto* socket = qobject_cast<QSslSocket*>(c.smtp->getSocket());
        QVERIFY(socket);
        trustTestAuthority(socket);
        QCOMPARE(c.smtp->connectToHost(), connected);
        QCOMPARE(c.errors, errors);
        if (connected) QVERIFY(socket->isEncrypted());
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines(), lines);
    }

    // A last line may be the code alone ("250\r\n"): the reply ends there, at
    // every step, and the mail is sent once without waiting for a time-out.
    // Lines that only look like that ("25", "2500", "250\t") do not end it.
    void codeOnlyLastLines_data() {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<QByteArray>("auth");
        QTest::addColumn<QByteArray>("mail");
        QTest::addColumn<QByteArray>("rcpt");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("end");
        QTest::addColumn<QString>("lastGreetingLine");
        const QByteArray g = "220 hi\r\n", e = "250 ok\r\n", a = "235 ok\r\n", ok = "250 ok\r\n", d = "354 go\r\n";
        QTest::newRow("greeting") << QByteArray("220\r\n") << e << a << ok << ok << d << ok << "220\r\n";
        QTest::newRow("multi-line greeting")
            << QByteArray("220-hello\r\n220\r\n") << e << a << ok << ok << d << ok << "220\r\n";
        QTest::newRow("ehlo") << g << QByteArray("250-x\r\n250-AUTH PLAIN\r\n250\r\n") << a << ok << ok << d << ok
                              << "220 hi\r\n";
        QTest::newRow("auth") << g << e << QByteArray("235\r\n") << ok << ok << d << ok << "220 hi\r\n";
        QTest::newRow("mail") << g << e << a << QByteArray("250\r\n") << ok << d << ok << "220 hi\r\n";
        QTest::newRow("rcpt") << g << e << a << ok << QByteArray("250\r\n") << d << ok << "220 hi\r\n";
        QTest::newRow("data") << g << e << a << ok << ok << QByteArray("354\r\n") << ok << "220 hi\r\n";
        QTest::newRow("end of data") << g << e << a << ok << ok << d << QByteArray("250\r\n") << "220 hi\r\n";
        QTest::newRow("end of data, LF alone") << g << e << a << ok << ok << d << QByteArray("250\n") << "220 hi\r\n";
        QTest::newRow("every step") << QByteArray("220\r\n") << QByteArray("250\r\n") << QByteArray("235\r\n")
                                    << QByteArray("250\r\n") << QByteArray("250\r\n") << QByteArray("354\r\n")
                                    << QByteArray("250\r\n") << "220\r\n";
        QTest::newRow("no last lines before the last") << QByteArray("25\r\n2200\r\n220\t\r\n220-\r\n 220\r\n220 \r\n")
                                                       << e << a << ok << ok << d << ok << "220 \r\n";
    }
    void codeOnlyLastLines() {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, ehlo);
        QFETCH(QByteArray, auth);
        QFETCH(QByteArray, mail);
        QFETCH(QByteArray, rcpt);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, end);
        QFETCH(QString, lastGreetingLine);
        QString greetingLine;
        ScriptedSmtpServer server;
        QVERIFY(server.start([&](Session& s) {
            s.send(greeting);
            if (!s.expect("EHLO localhost", ehlo)) return;
            if (!s.readLine().startsWith("AUTH PLAIN")) return;
            s.send(auth);
            if (!s.readLine().startsWith("MAIL FROM:")) return;
            s.send(mail);
            if (!s.readLine().startsWith("RCPT TO:")) return;
            s.send(rcpt);
            if (!s.expect("DATA", data)) return;
            s.readData();
            s.send(end);
            s.waitForClose();
        }));
        // A time-out far longer than the test: the replies must end by
        // themselves.
        Client c(server.port(), 60000);
        MimeMessage message;
        MimeText text(QStringLiteral("x"));
        fillMessage(message, text);
        // The greeting's last line is the response text after the greeting.
        QObject::connect(c.smtp->getSocket(), &QAbstractSocket::bytesWritten, [&] {
            if (greetingLine.isEmpty()) greetingLine = c.smtp->getResponseText();
        });
        QVERIFY(c.smtp->connectToHost());
        QCOMPARE(greetingLine, lastGreetingLine);
        QCOMPARE(c.smtp->getResponseCode(), 250);
        QVERIFY(c.smtp->login(QStringLiteral("u"), QStringLiteral("p")));
        QVERIFY(c.smtp->sendMail(message));
        QCOMPARE(c.smtp->getResponseCode(), 250);
        QCOMPARE(c.errors, QList<int>());
        c.smtp->quit();
        c.smtp.reset();
        server.finish();
        QCOMPARE(server.lines().size(), 7);  // EHLO, AUTH, MAIL, RCPT, DATA, <data>, QUIT
        QCOMPARE(server.lines().last(), QByteArray("QUIT"));
    }

    // STARTTLS that need not succeed (the feedback dialog's way): a server
    // that refuses it is served in plain text; a server that agrees gets TLS
    // with its certificate verified, and when the handshake then fails (a
    // certificate the client does not trust, a server that never starts TLS)
    // the connection fails and is dropped: nothing more goes out, in plain
    // text or otherwise. Required (the default), a refusal fails.
    void optionalStartTls_data() {
        QTest::addColumn<bool>("required");
        QTest::addColumn<QByteArray>("startTlsReply");
        QTest::addColumn<QString>("handshake");  // "trusted", "untrusted", "none"
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<int>>("errors");
        const QList<QByteArray> refused{"EHLO localhost", "STARTTLS", "AUTH PLAIN AHUAcA=="};
        const QList<QByteArray> upgraded{"EHLO localhost", "STARTTLS", "EHLO localhost", "AUTH PLAIN AHUAcA=="};
        const QList<QByteArray> cut{"EHLO localhost", "STARTTLS"};
        QTest::newRow("refused with 454: plain") << false << QByteArray("454 TLS not available\r\n") << QString()
                                                 << true << false << refused << QList<int>{SmtpClient::ServerError};
        QTest::newRow("refused with 502: plain") << false << QByteArray("502 unknown command\r\n") << QString() << true
                                                 << false << refused << QList<int>{SmtpClient::ClientError};
        QTest::newRow("agreed: TLS") << false << QByteArray("220 go ahead\r\n") << "trusted" << true << true << upgraded
                                     << QList<int>();
        QTest::newRow("agreed, certificate not trusted")
            << false << QByteArray("220 go ahead\r\n") << "untrusted" << false << false << cut
            << QList<int>{SmtpClient::ConnectionTimeoutError, SmtpClient::SendDataTimeoutError,
                          SmtpClient::AuthenticationFailedError};
        QTest::newRow("agreed, no handshake")
            << false << QByteArray("220 go ahead\r\n") << "none" << false << false << cut
            << QList<int>{SmtpClient::ConnectionTimeoutError, SmtpClient::SendDataTimeoutError,
                          SmtpClient::AuthenticationFailedError};
        QTest::newRow("required, refused")
            << true << QByteArray("454 TLS not available\r\n") << QString() << false << false << cut
            << QList<int>{SmtpClient::ServerError, SmtpClient::ServerError};
    }
    void optionalStartTls() {
        QFETCH(bool, required);
        QFETCH(QByteArray, startTlsReply);
        QFETCH(QString, handshake);
        QFETCH(bool, connected);
        QFETCH(bool, encrypted);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<int>, errors);
        ScriptedSmtpServer server;
        giveTlsIdentity(server);
        QVERIFY(server.start([&](Session& s) {
            greet(s);
            if (!s.expect("STARTTLS", startTlsReply)) return;
            if (!startTlsReply.startsWith("220")) {
                if (!s.readLine().startsWith("AUTH PLAIN")) return;
                s.send("235 ok\r\n");
            } else if (handshake == QLatin1String("none")) {
                // Agreed, and then silent until the client gives up.
            } else if (s.startTls()) {
                if (!s.expect("EHLO localhost", "250 secure\r\n")) return;
                if (!s.readLine().startsWith("AUTH PLAIN")) return;
                s.send("235 ok\r\n");
            }
            s.waitForClose();
        }));
        Client c(server.port(), 5000, SmtpClient::TlsConnection);
        QVERIFY(c.smtp->isStartTlsRequired());
        c.smtp->setStartTlsRequired(required);
        c.smtp->setConnectionTimeout(handshake == QLatin1String("none") ? 500 : 5000);
        auto* socket = qobject_cast<QSslSocket*>(c.smtp->getSocket());
        QVERIFY(socket);
        if (handshake == QLatin1String("trusted")) trustTestAuthority(socket);
        QCOMPARE(c.smtp->connectToHost(), connected);
        QCOMPARE(socket->isEncrypted(), encrypted);
        if (!connected && !handshake.isEmpty()) QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        // Logging in after a failed handshake sends nothing.
        if (connected || !handshake.isEmpty()) {
            QCOMPARE(c.smtp->login(QStringLiteral("u"), QStringLiteral("p")), connected);
        }
        QCOMPARE(c.errors, errors);
        c.smtp.reset();
        server.finish();
        // Where the server never started TLS, it read the client's TLS hello
        // as text; no command came after it.
        const QList<QByteArray> received = server.lines();
        QCOMPARE(received.mid(0, lines.size()), lines);
        if (handshake != QLatin1String("none")) QCOMPARE(received.size(), lines.size());
        for (const QByteArray& line : received.mid(lines.size())) {
            QVERIFY2(!line.contains("AUTH") && !line.contains("EHLO"), line.toHex().constData());
        }
    }

    void ehloNameWithLineBreakIsRefused() {
        SmtpClient client(QStringLiteral("127.0.0.1"), 1);
        client.setName(QStringLiteral("host\r\nQUIT"));
        QVERIFY(!client.connectToHost());
        QCOMPARE(client.getSocket()->state(), QAbstractSocket::UnconnectedState);
    }

    void connectionTypesAndDefaults() {
        SmtpClient client;
        QCOMPARE(client.getHost(), QStringLiteral("localhost"));
        QCOMPARE(client.getPort(), 25);
        QCOMPARE(client.getName(), QStringLiteral("localhost"));
        QCOMPARE(client.getConnectionTimeout(), 5000);
        QCOMPARE(client.getResponseTimeout(), 50000);
        QCOMPARE(client.getSendMessageTimeout(), 60000);
        QCOMPARE(client.getAuthMethod(), SmtpClient::AuthPlain);
        QVERIFY(!client.getSocket()->inherits("QSslSocket"));
        client.setConnectionType(SmtpClient::TlsConnection);
        QVERIFY(client.getSocket()->inherits("QSslSocket"));
        QCOMPARE(client.getSocket()->parent(), &client);
    }
};

QTEST_GUILESS_MAIN(TestSmtpWire)
#include "tst_smtp_wire.moc"
