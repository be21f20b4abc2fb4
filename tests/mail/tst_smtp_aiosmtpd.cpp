// The SMTP client against a real aiosmtpd on 127.0.0.1: the envelope and the
// authentication the server decoded, the stored mail read back by Python's
// email package, refusals by the server, and the SSL and STARTTLS connections
// with the server's throw-away certificate authority.
#include <QFile>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "mail/EmailAddress.h"
#include "mail/MimeAttachment.h"
#include "mail/MimeMessage.h"
#include "mail/MimeText.h"
#include "mail/SmtpClient.h"
#include "support/MailTestSupport.h"
#include "testsupport/TestSmtpServer.h"

using testsupport::ReceivedMail;
using testsupport::TestSmtpServer;

namespace {

const QString kUser = QStringLiteral("mailer@corvane.example");
const QString kPassword = QString::fromUtf8("quorvel@586 ä");

struct Client {
    Client(int port, SmtpClient::ConnectionType type) : smtp(new SmtpClient(QStringLiteral("127.0.0.1"), port, type)) {
        smtp->setResponseTimeout(10000);
        smtp->setConnectionTimeout(10000);
        QObject::connect(smtp.get(), &SmtpClient::smtpError, [this](SmtpClient::SmtpError e) { errors << e; });
    }
    std::unique_ptr<SmtpClient> smtp;
    QList<int> errors;
};

}  // namespace

class TestSmtpAiosmtpd : public QObject {
    Q_OBJECT

private slots:
    void sendsAndTheServerStoresIt_data() {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("mechanism");
        QTest::newRow("AUTH PLAIN") << int(SmtpClient::AuthPlain) << "PLAIN";
        QTest::newRow("AUTH LOGIN") << int(SmtpClient::AuthLogin) << "LOGIN";
    }
    void sendsAndTheServerStoresIt() {
        QFETCH(int, method);
        QFETCH(QString, mechanism);
        TestSmtpServer server;
        QString error;
        QVERIFY2(server.start(kUser, kPassword, &error), qPrintable(error));

        QTemporaryDir dir;
        QByteArray dump;
        for (int i = 0; i < 3000; ++i) dump.append(static_cast<char>(i * 7));
        QFile file(dir.path() + QStringLiteral("/crashcore.dmp"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(dump);
        file.close();

        MimeMessage message;
        message.setSender(new EmailAddress(kUser, kUser));
        message.addRecipient(new EmailAddress(QStringLiteral("support@corvane.example"), QStringLiteral("corvane")));
        message.addRecipient(new EmailAddress(QStringLiteral("copy@corvane.example")), MimeMessage::Cc);
        message.addRecipient(new EmailAddress(QStringLiteral("hidden@corvane.example")), MimeMessage::Bcc);
        message.setSubject(QStringLiteral("Brelion Corvane for Win Feedback."));
        const QString body = QString::fromUtf8("客户邮箱：\tuser@x.example\n版本号：\t2.0.1.6\n.\n.. two dots\nend");
        MimeText text(body);
        MimeAttachment attachment(new QFile(dir.path() + QStringLiteral("/crashcore.dmp")));
        message.addPart(&text);
        message.addPart(&attachment);

        Client c(server.port(), SmtpClient::TcpConnection);
        c.smtp->setUser(kUser);
        c.smtp->setPassword(kPassword);
        c.smtp->setAuthMethod(static_cast<SmtpClient::AuthMethod>(method));
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->login());
        QVERIFY(c.smtp->sendMail(message));
        c.smtp->quit();
        QVERIFY(c.errors.isEmpty());

        const QList<ReceivedMail> mails = server.messages(1);
        QCOMPARE(mails.size(), 1);
        const ReceivedMail& mail = mails.first();
        QCOMPARE(mail.mailFrom, kUser);
        QCOMPARE(mail.recipients,
                 QStringList({"support@corvane.example", "copy@corvane.example", "hidden@corvane.example"}));
        QCOMPARE(mail.login, kUser);
        QCOMPARE(mail.mechanism, mechanism);

        const mailtest::ParsedMail parsed = mailtest::parseMail(mail.data);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.headers.value("From"), kUser + QStringLiteral(" <") + kUser + QLatin1Char('>'));
        QCOMPARE(parsed.headers.value("Subject"), QStringLiteral("Brelion Corvane for Win Feedback."));
        QVERIFY(!parsed.headers.contains("Bcc"));
        QCOMPARE(parsed.parts.size(), 2);
        // The body arrives whole, with CRLF line ends on the wire and the lone
        // "." line intact.
        QCOMPARE(QString::fromUtf8(parsed.parts.at(0).payload), body);
        QVERIFY(mail.data.contains("\t2.0.1.6\r\n.\r\n.. two dots\r\nend\r\n"));
        QCOMPARE(parsed.parts.at(1).fileName, QStringLiteral("crashcore.dmp"));
        QCOMPARE(parsed.parts.at(1).payload, dump);
    }

    // A user's paragraph longer than a mail line (998 octets) goes out
    // quoted-printable: the server, which refuses longer lines, stores the
    // mail, every stored line fits, and the text decodes back to its exact
    // bytes. A text whose lines fit goes out as 8bit, as it is.
    void longLinesArrive_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("encoding");
        const QString cjk = QString::fromUtf8("客");
        QTest::newRow("1000 ASCII") << QString(1000, QLatin1Char('a')) << "quoted-printable";
        QTest::newRow("334 CJK") << cjk.repeated(334) << "quoted-printable";
        QTest::newRow("feedback paragraph")
            << QString::fromUtf8("客户邮箱：\tuser@x.example\n版本号：\t2.0.1.6\n.\n") +
                   QString::fromUtf8("Ein langer Absatz ohne Umbruch = 客户 ").repeated(200) + "\nend"
            << "quoted-printable";
        QTest::newRow("998 ASCII fits") << QString(998, QLatin1Char('b')) << "8bit";
    }
    void longLinesArrive() {
        QFETCH(QString, body);
        QFETCH(QString, encoding);
        TestSmtpServer server;
        QString error;
        QVERIFY2(server.start(kUser, kPassword, &error), qPrintable(error));
        MimeMessage message;
        message.setSender(new EmailAddress(kUser));
        message.addRecipient(new EmailAddress(QStringLiteral("support@corvane.example")));
        MimeText text(body);
        message.addPart(&text);
        Client c(server.port(), SmtpClient::TcpConnection);
        c.smtp->setUser(kUser);
        c.smtp->setPassword(kPassword);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->login());
        QVERIFY2(c.smtp->sendMail(message), qPrintable(c.smtp->getResponseText()));
        c.smtp->quit();
        QVERIFY(c.errors.isEmpty());

        const QList<ReceivedMail> mails = server.messages(1);
        QCOMPARE(mails.size(), 1);
        const QByteArray data = mails.first().data;
        QVERIFY(data.contains("\r\nContent-Transfer-Encoding: " + encoding.toLatin1() + "\r\n"));
        for (const QByteArray& line : data.split('\n')) QVERIFY(line.size() <= MimeText::kMaxLineOctets + 1);
        const mailtest::ParsedMail parsed = mailtest::parseMail(data);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.parts.size(), 1);
        QCOMPARE(parsed.parts.at(0).payload, body.toUtf8());
    }

    // Line breaks and quotes in the subject, a display name and a file name
    // arrive as those values: the server stores no extra header, recipient or
    // body.
    void headerValuesArriveIntact() {
        TestSmtpServer server;
        QString error;
        QVERIFY2(server.start(kUser, kPassword, &error), qPrintable(error));
        const QString subject = QStringLiteral("Hi\r\nX-Evil: 1\r\n\r\nforged body");
        const QString name = QStringLiteral("Eve\r\nBcc: spy@corvane.example");
        const QString fileName = QStringLiteral("we\"ird\r\nX-Evil: 1\r\n.log");
        MimeMessage message;
        message.setSender(new EmailAddress(kUser, name));
        message.addRecipient(new EmailAddress(QStringLiteral("support@corvane.example")));
        message.setSubject(subject);
        MimeText text(QStringLiteral("real body"));
        MimeAttachment attachment(QByteArray("log\n"), fileName);
        message.addPart(&text);
        message.addPart(&attachment);
        Client c(server.port(), SmtpClient::TcpConnection);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->login(kUser, kPassword));
        QVERIFY(c.smtp->sendMail(message));
        c.smtp->quit();

        const QList<ReceivedMail> mails = server.messages(1);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails.first().recipients, QStringList{QStringLiteral("support@corvane.example")});
        for (const QByteArray& bad : {QByteArray("\nX-Evil"), QByteArray("\nBcc"), QByteArray("\nforged")})
            QVERIFY2(!mails.first().data.contains(bad), mails.first().data.constData());
        const mailtest::ParsedMail parsed = mailtest::parseMail(mails.first().data);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QVERIFY2(parsed.defects.isEmpty(), qPrintable(parsed.defects.join(", ")));
        QCOMPARE(parsed.headers.value("Subject"), subject);
        QCOMPARE(parsed.headers.value("From"), name + QStringLiteral(" <") + kUser + QLatin1Char('>'));
        QCOMPARE(parsed.parts.size(), 2);
        QCOMPARE(parsed.parts.at(0).payload, QByteArray("real body"));
        QCOMPARE(parsed.parts.at(1).fileName, fileName);
        QCOMPARE(parsed.parts.at(1).fileNameStrict, fileName);
    }

    void wrongPassword() {
        TestSmtpServer server;
        QString error;
        QVERIFY2(server.start(kUser, kPassword, &error), qPrintable(error));
        Client c(server.port(), SmtpClient::TcpConnection);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(!c.smtp->login(kUser, QStringLiteral("wrong")));
        QCOMPARE(c.errors, QList<int>({SmtpClient::ClientError, SmtpClient::AuthenticationFailedError}));
    }

    void refusals_data() {
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("error");
        QTest::newRow("MAIL 451") << int(TestSmtpServer::Stage::Mail) << "451 try later"
                                  << int(SmtpClient::ServerError);
        QTest::newRow("RCPT 550") << int(TestSmtpServer::Stage::Rcpt) << "550 No such user"
                                  << int(SmtpClient::ClientError);
        QTest::newRow("DATA 554") << int(TestSmtpServer::Stage::Data) << "554 rejected" << int(SmtpClient::ClientError);
    }
    void refusals() {
        QFETCH(int, stage);
        QFETCH(QString, reply);
        QFETCH(int, error);
        TestSmtpServer server;
        QString startError;
        QVERIFY2(server.start(kUser, kPassword, &startError), qPrintable(startError));
        server.setReject(static_cast<TestSmtpServer::Stage>(stage), reply);
        MimeMessage message;
        message.setSender(new EmailAddress(kUser));
        message.addRecipient(new EmailAddress(QStringLiteral("support@corvane.example")));
        MimeText text(QStringLiteral("x"));
        message.addPart(&text);
        Client c(server.port(), SmtpClient::TcpConnection);
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(c.smtp->login(kUser, kPassword));
        QVERIFY(!c.smtp->sendMail(message));
        QCOMPARE(c.errors, QList<int>{error});
        QCOMPARE(server.messages().size(), 0);
    }

    void encryptedConnections_data() {
        QTest::addColumn<int>("security");
        QTest::addColumn<int>("type");
        QTest::newRow("SSL") << int(TestSmtpServer::Security::Ssl) << int(SmtpClient::SslConnection);
        QTest::newRow("STARTTLS") << int(TestSmtpServer::Security::StartTls) << int(SmtpClient::TlsConnection);
    }
    void encryptedConnections() {
        QFETCH(int, security);
        QFETCH(int, type);
        TestSmtpServer server;
        server.setSecurity(static_cast<TestSmtpServer::Security>(security));
        QString error;
        QVERIFY2(server.start(kUser, kPassword, &error), qPrintable(error));
        MimeMessage message;
        message.setSender(new EmailAddress(kUser));
        message.addRecipient(new EmailAddress(QStringLiteral("support@corvane.example")));
        MimeText text(QStringLiteral("over TLS"));
        message.addPart(&text);

        // The client sets no TLS options of its own; the test trusts the
        // server's authority on the socket.
        Client c(server.port(), static_cast<SmtpClient::ConnectionType>(type));
        auto* socket = qobject_cast<QSslSocket*>(c.smtp->getSocket());
        QVERIFY(socket);
        socket->setSslConfiguration(server.sslConfiguration());
        socket->setPeerVerifyName(QStringLiteral("localhost"));
        QVERIFY(c.smtp->connectToHost());
        QVERIFY(socket->isEncrypted());
        QVERIFY(c.smtp->login(kUser, kPassword));
        QVERIFY(c.smtp->sendMail(message));
        c.smtp->quit();
        const QList<ReceivedMail> mails = server.messages(1);
        QCOMPARE(mails.size(), 1);
        QVERIFY(mails.first().data.contains("over TLS"));
        QVERIFY(mails.first().tls);

        // Without trusting that authority the handshake fails: a connection
        // error, not a hang.
        Client untrusting(server.port(), static_cast<SmtpClient::ConnectionType>(type));
        QVERIFY(!untrusting.smtp->connectToHost());
        QCOMPARE(untrusting.errors, QList<int>{SmtpClient::ConnectionTimeoutError});
    }
};

QTEST_GUILESS_MAIN(TestSmtpAiosmtpd)
#include "tst_smtp_aiosmtpd.moc"
