// The test SMTP server: a mail sent with AUTH PLAIN or AUTH LOGIN over a raw
// socket is stored and read back; wrong credentials and missing AUTH are
// refused; rejections can be switched on while it runs; SSL and STARTTLS work
// with the server's own authority.
#include "NetHelpers.h"

#include "testsupport/ServerUtil.h"
#include "testsupport/TestSmtpServer.h"

#include <QSslSocket>
#include <QtTest>

using namespace testsupport;

namespace {

// One SMTP dialogue over a socket: every command returns the whole reply.
class Dialogue {
public:
    explicit Dialogue(QTcpSocket& socket) : m_socket(socket) {}

    // Reads one reply (all its lines); the last line is "NNN text".
    QByteArray reply() {
        const QByteArray r = readUntil(m_socket, [](const QByteArray& b) {
            if (!b.endsWith("\r\n")) return false;
            const int start = b.lastIndexOf("\r\n", b.size() - 3);
            const QByteArray last = b.mid(start < 0 ? 0 : start + 2);
            return last.size() >= 4 && last.at(3) == ' ';
        });
        return r;
    }
    QByteArray command(const QByteArray& line) {
        m_socket.write(line + "\r\n");
        return reply();
    }
    static int code(const QByteArray& reply) {
        const int start = reply.lastIndexOf("\r\n", reply.size() - 3);
        return reply.mid(start < 0 ? 0 : start + 2, 3).toInt();
    }

private:
    QTcpSocket& m_socket;
};

QByteArray plainToken(const QByteArray& user, const QByteArray& password) {
    return (QByteArray(1, '\0') + user + QByteArray(1, '\0') + password).toBase64();
}

const QByteArray kUser = "mailer@corvane.example";
const QByteArray kPassword = "p\xc3\xa4ss word";  // UTF-8 and a blank

// The message as sent on the wire (dot-stuffed) and as it must be stored.
const QByteArray kWire =
    "From: Tester <mailer@corvane.example>\r\n"
    "To: support@corvane.example\r\n"
    "Subject: Feedback\r\n"
    "\r\n"
    "first line\r\n"
    "..a line that starts with a dot\r\n"
    "last line\r\n";
const QByteArray kStored =
    "From: Tester <mailer@corvane.example>\r\n"
    "To: support@corvane.example\r\n"
    "Subject: Feedback\r\n"
    "\r\n"
    "first line\r\n"
    ".a line that starts with a dot\r\n"
    "last line\r\n";

// MAIL, two RCPT, DATA, the message, QUIT; every reply must succeed.
void sendMail(Dialogue& d) {
    QCOMPARE(Dialogue::code(d.command("MAIL FROM:<mailer@corvane.example>")), 250);
    QCOMPARE(Dialogue::code(d.command("RCPT TO:<support@corvane.example>")), 250);
    QCOMPARE(Dialogue::code(d.command("RCPT TO:<copy@corvane.example>")), 250);
    QCOMPARE(Dialogue::code(d.command("DATA")), 354);
    QCOMPARE(Dialogue::code(d.command(kWire + ".")), 250);
    QCOMPARE(Dialogue::code(d.command("QUIT")), 221);
}

void verifyStored(const TestSmtpServer& smtp, const QString& mechanism) {
    const QList<ReceivedMail> mails = smtp.messages(1);
    QCOMPARE(mails.size(), 1);
    QCOMPARE(mails.at(0).mailFrom, QStringLiteral("mailer@corvane.example"));
    QCOMPARE(mails.at(0).recipients,
             QStringList({QStringLiteral("support@corvane.example"), QStringLiteral("copy@corvane.example")}));
    QCOMPARE(mails.at(0).data, kStored);
    QCOMPARE(mails.at(0).login, QString::fromUtf8(kUser));
    QCOMPARE(mails.at(0).mechanism, mechanism);
}

// Runs a helper that checks with QTest macros and leaves the calling test where it recorded a failure.
#define CHECKED(call)                           \
    do {                                        \
        call;                                   \
        if (QTest::currentTestFailed()) return; \
    } while (false)

void startWithAccount(TestSmtpServer& smtp) {
    QString error;
    QVERIFY2(smtp.start(QString::fromUtf8(kUser), QString::fromUtf8(kPassword), &error), qPrintable(error));
}

// Connects in the clear and reads the greeting.
void connectClear(QTcpSocket& s, const TestSmtpServer& smtp, Dialogue& d) {
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(smtp.port()));
    QVERIFY(s.waitForConnected(5000));
    QCOMPARE(Dialogue::code(d.reply()), 220);
}

void ehlo(Dialogue& d) { QCOMPARE(Dialogue::code(d.command("EHLO client.test")), 250); }

void loginPlain(Dialogue& d) { QCOMPARE(Dialogue::code(d.command("AUTH PLAIN " + plainToken(kUser, kPassword))), 235); }

// Sends the message, checks how it was stored under `mechanism` and that the server stops.
void sendAndVerify(Dialogue& d, TestSmtpServer& smtp, const QString& mechanism) {
    CHECKED(sendMail(d));
    CHECKED(verifyStored(smtp, mechanism));
    VERIFY_STOPPED(smtp);
}

}  // namespace

class TestServerSmtp : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sendWithAuth_data();
    void sendWithAuth();
    void refused_data();
    void refused();
    void rejectsSwitchedWhileRunning();
    void noAuthConfigured();
    void sslFromTheStart();
    void startTls();
};

void TestServerSmtp::init() {
    // Debian's interpreter: aiosmtpd is installed for it.
    ZN_REQUIRE_BINARY(QStringLiteral("/usr/bin/python3"));
}

void TestServerSmtp::sendWithAuth_data() {
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("mechanism");
    QTest::newRow("plain") << QList<QByteArray>{"AUTH PLAIN " + plainToken(kUser, kPassword)} << QList<int>{235}
                           << QStringLiteral("PLAIN");
    QTest::newRow("login") << QList<QByteArray>{"AUTH LOGIN", kUser.toBase64(), kPassword.toBase64()}
                           << QList<int>{334, 334, 235} << QStringLiteral("LOGIN");
}

void TestServerSmtp::sendWithAuth() {
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QList<int>, codes);
    QFETCH(QString, mechanism);

    TestSmtpServer smtp;
    CHECKED(startWithAccount(smtp));
    QTcpSocket s;
    Dialogue d(s);
    CHECKED(connectClear(s, smtp, d));
    const QByteArray ehlo = d.command("EHLO client.test");
    QCOMPARE(Dialogue::code(ehlo), 250);
    QVERIFY2(ehlo.contains("AUTH LOGIN PLAIN") || ehlo.contains("AUTH PLAIN LOGIN"), ehlo.constData());
    for (int i = 0; i < commands.size(); ++i) QCOMPARE(Dialogue::code(d.command(commands.at(i))), codes.at(i));
    sendAndVerify(d, smtp, mechanism);
}

void TestServerSmtp::refused_data() {
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<int>("lastCode");
    QTest::newRow("plain-wrong-password") << QList<QByteArray>{"AUTH PLAIN " + plainToken(kUser, "wrong")} << 535;
    QTest::newRow("plain-wrong-user") << QList<QByteArray>{"AUTH PLAIN " + plainToken("other", kPassword)} << 535;
    QTest::newRow("plain-empty-password") << QList<QByteArray>{"AUTH PLAIN " + plainToken(kUser, "")} << 535;
    QTest::newRow("login-wrong-password")
        << QList<QByteArray>{"AUTH LOGIN", kUser.toBase64(), QByteArray("wrong").toBase64()} << 535;
    QTest::newRow("mail-without-auth") << QList<QByteArray>{"MAIL FROM:<mailer@corvane.example>"} << 530;
}

void TestServerSmtp::refused() {
    QFETCH(QList<QByteArray>, commands);
    QFETCH(int, lastCode);

    TestSmtpServer smtp;
    CHECKED(startWithAccount(smtp));
    QTcpSocket s;
    Dialogue d(s);
    CHECKED(connectClear(s, smtp, d));
    CHECKED(ehlo(d));
    QByteArray reply;
    for (const QByteArray& c : commands) reply = d.command(c);
    QCOMPARE(Dialogue::code(reply), lastCode);
    // Still not allowed to send afterwards.
    QCOMPARE(Dialogue::code(d.command("MAIL FROM:<mailer@corvane.example>")), 530);
    QCOMPARE(smtp.messages().size(), 0);
    VERIFY_STOPPED(smtp);
}

void TestServerSmtp::rejectsSwitchedWhileRunning() {
    TestSmtpServer smtp;
    CHECKED(startWithAccount(smtp));
    QTcpSocket s;
    Dialogue d(s);
    CHECKED(connectClear(s, smtp, d));
    CHECKED(ehlo(d));
    CHECKED(loginPlain(d));

    smtp.setReject(TestSmtpServer::Stage::Mail, QStringLiteral("451 4.3.0 Try again later"));
    QVERIFY(d.command("MAIL FROM:<mailer@corvane.example>").startsWith("451 4.3.0 Try again later"));
    smtp.setReject(TestSmtpServer::Stage::Mail, QString());
    QCOMPARE(Dialogue::code(d.command("MAIL FROM:<mailer@corvane.example>")), 250);

    smtp.setReject(TestSmtpServer::Stage::Rcpt, QStringLiteral("550 5.1.1 No such user"));
    QCOMPARE(Dialogue::code(d.command("RCPT TO:<nobody@corvane.example>")), 550);
    smtp.setReject(TestSmtpServer::Stage::Rcpt, QString());
    QCOMPARE(Dialogue::code(d.command("RCPT TO:<support@corvane.example>")), 250);

    smtp.setReject(TestSmtpServer::Stage::Data, QStringLiteral("554 5.6.0 Message refused"));
    QCOMPARE(Dialogue::code(d.command("DATA")), 354);
    QCOMPARE(Dialogue::code(d.command(kWire + ".")), 554);
    QCOMPARE(smtp.messages().size(), 0);
    VERIFY_STOPPED(smtp);
}

void TestServerSmtp::noAuthConfigured() {
    TestSmtpServer smtp;
    QString error;
    QVERIFY2(smtp.start(&error), qPrintable(error));
    QTcpSocket s;
    Dialogue d(s);
    CHECKED(connectClear(s, smtp, d));
    const QByteArray ehlo = d.command("EHLO client.test");
    QCOMPARE(Dialogue::code(ehlo), 250);
    QVERIFY2(!ehlo.contains("AUTH"), ehlo.constData());
    QCOMPARE(Dialogue::code(d.command("AUTH PLAIN " + plainToken(kUser, kPassword))), 504);
    QCOMPARE(Dialogue::code(d.command("MAIL FROM:<a@corvane.example>")), 250);
    QCOMPARE(Dialogue::code(d.command("RCPT TO:<b@corvane.example>")), 250);
    QCOMPARE(Dialogue::code(d.command("DATA")), 354);
    QCOMPARE(Dialogue::code(d.command("Subject: x\r\n\r\nbody\r\n.")), 250);
    const QList<ReceivedMail> mails = smtp.messages(1);
    QCOMPARE(mails.size(), 1);
    QCOMPARE(mails.at(0).login, QString());
    QCOMPARE(mails.at(0).data, QByteArray("Subject: x\r\n\r\nbody\r\n"));
    VERIFY_STOPPED(smtp);
}

void TestServerSmtp::sslFromTheStart() {
    ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
    TestSmtpServer smtp;
    smtp.setSecurity(TestSmtpServer::Security::Ssl);
    CHECKED(startWithAccount(smtp));

    QSslSocket s;
    s.setSslConfiguration(smtp.sslConfiguration());
    s.connectToHostEncrypted(QStringLiteral("localhost"), static_cast<quint16>(smtp.port()));
    QVERIFY2(s.waitForEncrypted(10000), qPrintable(s.errorString()));
    Dialogue d(s);
    QCOMPARE(Dialogue::code(d.reply()), 220);
    CHECKED(ehlo(d));
    CHECKED(loginPlain(d));
    sendAndVerify(d, smtp, QStringLiteral("PLAIN"));
}

void TestServerSmtp::startTls() {
    ZN_REQUIRE_BINARY(QStringLiteral("openssl"));
    TestSmtpServer smtp;
    smtp.setSecurity(TestSmtpServer::Security::StartTls);
    CHECKED(startWithAccount(smtp));

    QSslSocket s;
    s.setSslConfiguration(smtp.sslConfiguration());
    s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(smtp.port()));
    QVERIFY(s.waitForConnected(5000));
    Dialogue d(s);
    QCOMPARE(Dialogue::code(d.reply()), 220);
    QVERIFY(d.command("EHLO client.test").contains("STARTTLS"));
    QCOMPARE(Dialogue::code(d.command("STARTTLS")), 220);
    s.startClientEncryption();
    QVERIFY2(s.waitForEncrypted(10000), qPrintable(s.errorString()));
    CHECKED(ehlo(d));
    CHECKED(loginPlain(d));
    sendAndVerify(d, smtp, QStringLiteral("PLAIN"));
}

QTEST_MAIN(TestServerSmtp)
#include "tst_server_smtp.moc"
