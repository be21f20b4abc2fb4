// The feedback dialog: its form, the input checks, the account file, the
// attachments, and every outcome box, with mails sent to a real aiosmtpd on
// 127.0.0.1 and read back by Python's email package.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "Feedback.h"
#include "ZnMessageBox.h"
#include "ZnStyleButton.h"
#include "ZnStyleCommon.h"
#include "ZnStyleWidgetTitle.h"
#include "platform/Programs.h"
#include "support/MailTestSupport.h"
#include "support/ScriptedSmtpServer.h"
#include "testsupport/GuiTestSupport.h"
#include "testsupport/ServerUtil.h"
#include "testsupport/TestSmtpServer.h"

using testsupport::ReceivedMail;
using testsupport::TestSmtpServer;

namespace {

const char kAccount[] = "feedback@mail.maker.test";
const char kBuiltInPassword[] = "quorvel@586";
const char kMailTo[] = "care@mail.maker.test";

// What an outcome box showed, and how it was closed: with a real click on its
// OK button, which a disabled box would not take.
struct BoxSeen {
    bool shown = false;
    QString texts;
    QString caption;
    bool boxEnabled = false;
    bool dialogEnabledMeanwhile = true;
    QImage icon;
    bool overrideCursorAtBox = true;
    // The cursor while the mail was being built and sent (none: the flow
    // never got there), and whether any override was left after the flow.
    QCursor* cursorWhileSending = nullptr;
    Qt::CursorShape shapeWhileSending = Qt::ArrowCursor;
    bool overrideCursorLeft = true;
};

// Notes the override cursor at the debug line the send flow writes between
// building the mail and connecting (the flow blocks this thread meanwhile).
class SendingCursorProbe {
public:
    explicit SendingCursorProbe(BoxSeen* seen) : m_previous(qInstallMessageHandler(&handler)) { s_seen = seen; }
    ~SendingCursorProbe() {
        qInstallMessageHandler(m_previous);
        s_seen = nullptr;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!s_seen || !message.contains(QLatin1String("isChecked"))) return;
        s_seen->cursorWhileSending = QApplication::overrideCursor();
        if (s_seen->cursorWhileSending) s_seen->shapeWhileSending = s_seen->cursorWhileSending->shape();
    }
    static inline BoxSeen* s_seen = nullptr;
    QtMessageHandler m_previous;
};

void clickNextBox(BoxSeen* seen, QWidget* dialog) {
    testsupport::onNextModal([seen, dialog](QWidget* modal) {
        auto* box = qobject_cast<ZnMessageBox*>(modal);
        if (!box) return;
        seen->shown = true;
        for (QLabel* label : box->findChildren<QLabel*>()) seen->texts += label->text() + QLatin1Char('\n');
        if (auto* title = box->findChild<ZnStyleWidgetTitle*>()) {
            for (QLabel* label : title->findChildren<QLabel*>()) seen->caption += label->text();
        }
        seen->boxEnabled = box->isEnabled();
        seen->dialogEnabledMeanwhile = dialog->isEnabled();
        seen->overrideCursorAtBox = QApplication::overrideCursor() != nullptr;
        if (auto* icon = box->findChild<QLabel*>(QStringLiteral("label_icon"))) {
            seen->icon = icon->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
        }
        QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("pushButton_ok")), Qt::LeftButton);
        if (box->isVisible()) box->reject();  // never leave a box open
    });
}

QImage skinImage(const char* path) {
    return QPixmap(QString::fromStdString(GetSkinPath()) + QLatin1String(path))
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return file.write(bytes) == bytes.size();
}

}  // namespace

class TestFeedback : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_app;
    std::unique_ptr<TestSmtpServer> m_smtp;

    QString app() const { return m_app->path(); }

    void pointAt(int port) { qputenv("CORVANE_MAIL_SERVER_PORT", QByteArray::number(port)); }

    // Types the input, presses Submit and clicks the box that follows.
    BoxSeen submit(CFeedback& dialog, const QString& address, const QString& content) {
        dialog.findChild<QLineEdit*>(QStringLiteral("LabelEmailText"))->setText(address);
        dialog.findChild<QPlainTextEdit*>(QStringLiteral("LabelContentText"))->setPlainText(content);
        BoxSeen seen;
        clickNextBox(&seen, &dialog);
        {
            SendingCursorProbe probe(&seen);
            QTest::mouseClick(dialog.findChild<ZnStyleButton*>(QStringLiteral("ButtonSubmit")), Qt::LeftButton);
        }
        seen.overrideCursorLeft = QApplication::overrideCursor() != nullptr;
        return seen;
    }

private slots:
    void initTestCase() {
        ZnStyleCommon::installPlatformFonts();
        qputenv("CORVANE_MAIL_SERVER", "127.0.0.1");
        qputenv("CORVANE_FEEDBACK_ACCOUNT", kAccount);
        qputenv("CORVANE_FEEDBACK_MAILTO", kMailTo);
        m_smtp = std::make_unique<TestSmtpServer>();
        QString error;
        QVERIFY2(m_smtp->start(QLatin1String(kAccount), QLatin1String(kBuiltInPassword), &error), qPrintable(error));
    }

    // Each test: an application folder of its own with the build's skin.
    void init() {
        m_app = std::make_unique<QTemporaryDir>();
        QVERIFY(QFile::link(QStringLiteral(ZN_APP_DIR "/skin"), app() + QStringLiteral("/skin")));
        platform::setApplicationDir(app());
        g_styleCommon.setFontFamily(QStringLiteral("Segoe UI"));
        g_styleCommon.setSkinPath(app() + QStringLiteral("/skin/"));
        pointAt(m_smtp->port());
    }

    void form() {
        CFeedback dialog;
        QCOMPARE(dialog.size(), QSize(560, 370));
        QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
        auto* title = dialog.findChild<ZnStyleWidgetTitle*>(QStringLiteral("widget"));
        QVERIFY(title);
        QCOMPARE(title->geometry(), QRect(5, 5, 550, 35));
        QCOMPARE(dialog.findChild<QWidget*>(QStringLiteral("widget_2"))->geometry(), QRect(5, 40, 550, 325));
        QStringList captions;
        for (QLabel* label : title->findChildren<QLabel*>()) captions << label->text();
        QVERIFY2(captions.contains(QStringLiteral("Feedback")), qPrintable(captions.join('|')));
        QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("LabelEmailText"))->placeholderText(),
                 QStringLiteral("Enter your e-mail address"));
        QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("LabelContentText"))->placeholderText(),
                 QStringLiteral("If you have any comments or suggestions, please feel free to contact us."));
        QVERIFY(dialog.findChild<QCheckBox*>(QStringLiteral("CheckBoxAttachLog"))->isChecked());
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label_checkedText"))->text(),
                 QStringLiteral("Attach the log file (check the box to send automatically)."));
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("ButtonSubmit"))->text(), QStringLiteral("Submit"));
        QCOMPARE(dialog.focusWidget(), dialog.findChild<QWidget*>(QStringLiteral("LabelEmailText")));
        QCOMPARE(dialog.GetEmailUser(), QLatin1String(kAccount));
        QCOMPARE(dialog.GetEmailPassword(), QLatin1String(kBuiltInPassword));
    }

    // The two checks: an "@" somewhere, and any content (blanks count).
    void inputChecks_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("sent");
        QTest::newRow("no @") << "abc"
                              << "hello"
                              << "Please enter a valid email address." << false;
        QTest::newRow("empty address") << ""
                                       << "hello"
                                       << "Please enter a valid email address." << false;
        QTest::newRow("a@ passes") << "a@"
                                   << "hello"
                                   << "Submitted successfully." << true;
        QTest::newRow("empty content") << "a@b.example"
                                       << ""
                                       << "The content is empty. Please enter your comments or suggestions." << false;
        QTest::newRow("blanks are content") << "a@b.example"
                                            << "   "
                                            << "Submitted successfully." << true;
    }
    void inputChecks() {
        QFETCH(QString, address);
        QFETCH(QString, content);
        QFETCH(QString, box);
        QFETCH(bool, sent);
        const int before = m_smtp->messages().size();
        CFeedback dialog;
        dialog.show();
        const BoxSeen seen = submit(dialog, address, content);
        QVERIFY(seen.shown);
        QVERIFY2(seen.texts.contains(box), qPrintable(seen.texts));
        QCOMPARE(seen.caption, QStringLiteral("Brelion Corvane"));
        QVERIFY(seen.boxEnabled);
        QVERIFY(!seen.dialogEnabledMeanwhile);
        QCOMPARE(seen.icon, skinImage(sent ? "/Application/tip_succeed.png" : "/Application/tip_fail.png"));
        // A wait cursor only while the mail goes out; never over a box, never
        // left behind.
        QCOMPARE(seen.cursorWhileSending != nullptr, sent);
        if (sent) QCOMPARE(seen.shapeWhileSending, Qt::WaitCursor);
        QVERIFY(!seen.overrideCursorAtBox);
        QVERIFY(!seen.overrideCursorLeft);
        // Sent: the dialog has closed itself (still disabled); refused: it
        // stays open and enabled for another try.
        QCOMPARE(dialog.isVisible(), !sent);
        QCOMPARE(dialog.isEnabled(), !sent);
        QCOMPARE(m_smtp->messages(sent ? before + 1 : 0).size(), before + (sent ? 1 : 0));
        if (!sent) return;
        const ReceivedMail mail = m_smtp->messages().last();
        QCOMPARE(mail.mailFrom, QLatin1String(kAccount));
        QCOMPARE(mail.recipients, QStringList{QLatin1String(kMailTo)});
        QCOMPARE(mail.login, QLatin1String(kAccount));
        QCOMPARE(mail.mechanism, QStringLiteral("PLAIN"));
        const mailtest::ParsedMail parsed = mailtest::parseMail(mail.data);
        QVERIFY2(parsed.ok, qPrintable(parsed.error));
        QCOMPARE(parsed.headers.value("From"), QStringLiteral("%1 <%1>").arg(QLatin1String(kAccount)));
        QCOMPARE(parsed.headers.value("To"), QStringLiteral("corvane <%1>").arg(QLatin1String(kMailTo)));
        QCOMPARE(parsed.headers.value("Subject"), QStringLiteral("Brelion Corvane for Win Feedback."));
        // The account address is its own display name; its "@" and "." are
        // specials, so the name goes out as an encoded word.
        QVERIFY(mail.data.startsWith(QByteArray("From: =?utf-8?Q?feedback=40mail=2Emaker=2Etest?= <") + kAccount +
                                     ">\r\n"));
        // No crash dump and no log folder here: the text alone.
        QCOMPARE(parsed.parts.size(), 1);
        QCOMPARE(QString::fromUtf8(parsed.parts.at(0).payload),
                 QStringLiteral("客户邮箱：\t") + address +
                     QStringLiteral("\n版本号：\t" ZN_EXPECTED_FILE_VERSION "\n") + content);
    }

    // With the box set: the dump of the application folder and the files of
    // its log folder whose suffix is exactly "log", smallest first; no
    // links, no subfolders. Cleared: the text alone.
    void attachments() {
        QVERIFY(writeFile(app() + QStringLiteral("/crashcore.dmp"), QByteArray(700, '\x01')));
        QVERIFY(QDir(app()).mkpath(QStringLiteral("Log/sub")));
        const QString log = app() + QStringLiteral("/Log/");
        QVERIFY(writeFile(log + QStringLiteral("x.log"), QByteArray(300, 'x')));
        QVERIFY(writeFile(log + QStringLiteral("small.log"), QByteArray("tiny\n")));
        QVERIFY(writeFile(log + QStringLiteral(".hidden.log"), QByteArray(50, 'h')));
        QVERIFY(writeFile(log + QStringLiteral("y.LOG"), QByteArray("upper")));
        QVERIFY(writeFile(log + QStringLiteral("z.log.1"), QByteArray("rotated")));
        QVERIFY(writeFile(log + QStringLiteral("sub/inner.log"), QByteArray("inner")));
        QVERIFY(writeFile(app() + QStringLiteral("/outside.txt"), QByteArray("outside")));
        QVERIFY(QFile::link(app() + QStringLiteral("/outside.txt"), log + QStringLiteral("link.log")));

        const int before = m_smtp->messages().size();
        {
            CFeedback dialog;
            dialog.show();
            QVERIFY(submit(dialog, QStringLiteral("user@x.example"), QStringLiteral("with logs")).shown);
        }
        {
            CFeedback dialog;
            dialog.show();
            dialog.findChild<QCheckBox*>(QStringLiteral("CheckBoxAttachLog"))->setChecked(false);
            QVERIFY(submit(dialog, QStringLiteral("user@x.example"), QStringLiteral("without logs")).shown);
        }
        const QList<ReceivedMail> mails = m_smtp->messages(before + 2);
        QCOMPARE(mails.size(), before + 2);

        const mailtest::ParsedMail with = mailtest::parseMail(mails.at(before).data);
        QVERIFY2(with.ok, qPrintable(with.error));
        QStringList names;
        for (const mailtest::ParsedPart& part : with.parts) names << part.fileName;
        QCOMPARE(names, QStringList({"", "crashcore.dmp", "small.log", ".hidden.log", "x.log"}));
        QCOMPARE(with.parts.at(1).payload, QByteArray(700, '\x01'));
        QCOMPARE(with.parts.at(4).payload, QByteArray(300, 'x'));
        QCOMPARE(with.parts.at(4).disposition, QStringLiteral("attachment"));

        const mailtest::ParsedMail without = mailtest::parseMail(mails.at(before + 1).data);
        QCOMPARE(without.parts.size(), 1);
    }

    void failureBoxes_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("icon");
        QTest::newRow("no connection")
            << "connect"
            << "Sorry, it failed to submit the feedback. Please make sure you have a stable network connection and "
               "try it again."
            << "/Application/tip_fail.png";
        QTest::newRow("endless greeting")
            << "endless greeting"
            << "Sorry, it failed to submit the feedback. Please make sure you have a stable network connection and "
               "try it again."
            << "/Application/tip_fail.png";
        QTest::newRow("login refused") << "login"
                                       << "Sorry, it failed to submit the feedback because fail to login."
                                       << "";
        QTest::newRow("recipient refused")
            << "send"
            << "Sorry, it failed to submit the feedback because an unknown error occurred."
            << "/Application/tip_fail.png";
    }
    void failureBoxes() {
        QFETCH(QString, what);
        QFETCH(QString, box);
        QFETCH(QString, icon);
        TestSmtpServer other;
        const mailtest::RefusingPort refusing;
        ScriptedSmtpServer endless;
        const qint64 endlessLimit = 64 * 1024 * 1024;
        qint64 endlessSent = 0;
        if (what == QLatin1String("connect")) {
            QVERIFY(refusing.port() > 0);
            pointAt(refusing.port());
        } else if (what == QLatin1String("endless greeting")) {
            // A greeting line that never ends: cut off at the reply's limit,
            // not after the server has given up (or never).
            QVERIFY(endless.start([&](ScriptedSmtpServer::Session& s) {
                endlessSent = s.stream("220 " + QByteArray(64 * 1024 - 4, 'x'), endlessLimit);
            }));
            pointAt(endless.port());
        } else {
            QString error;
            // A server that knows another password, or refuses the recipient.
            QVERIFY2(other.start(QLatin1String(kAccount),
                                 what == QLatin1String("login") ? QStringLiteral("other") : kBuiltInPassword, &error),
                     qPrintable(error));
            if (what == QLatin1String("send")) other.setReject(TestSmtpServer::Stage::Rcpt, "550 No such user");
            pointAt(other.port());
        }
        CFeedback dialog;
        dialog.show();
        const BoxSeen seen = submit(dialog, QStringLiteral("user@x.example"), QStringLiteral("text"));
        QVERIFY(seen.shown);
        QVERIFY2(seen.texts.contains(box), qPrintable(seen.texts));
        QVERIFY(seen.boxEnabled);
        QVERIFY(seen.cursorWhileSending);
        QCOMPARE(seen.shapeWhileSending, Qt::WaitCursor);
        QVERIFY(!seen.overrideCursorAtBox);
        QVERIFY(!seen.overrideCursorLeft);
        if (icon.isEmpty()) {
            QVERIFY(seen.icon != skinImage("/Application/tip_fail.png"));
            QVERIFY(seen.icon != skinImage("/Application/tip_succeed.png"));
        } else {
            QCOMPARE(seen.icon, skinImage(icon.toLatin1().constData()));
        }
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.isEnabled());
        endless.finish();
        QVERIFY2(endlessSent < endlessLimit, qPrintable(QString::number(endlessSent)));
    }

    void accountFiles_data() {
        using mailtest::accountEntry;
        using mailtest::accountFile;
        using mailtest::scrambleAccountFile;
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        const QString builtIn = QLatin1String(kAccount);
        QTest::newRow("one P00") << scrambleAccountFile(accountFile(accountEntry("P01", "o@x", "o") +
                                                                    accountEntry("P00", "me@x", "secret")))
                                 << "me@x"
                                 << "secret";
        QTest::newRow("two P00, the second wins")
            << scrambleAccountFile(
                   accountFile(accountEntry("P00", "first@x", "1") + accountEntry("P00", "second@x", "2")))
            << "second@x"
            << "2";
        QTest::newRow("four children ignored")
            << scrambleAccountFile(accountFile("<emailType><p>P00</p><u>four@x</u><w>4</w><x/></emailType>" +
                                               accountEntry("P01", "o@x", "o")))
            << builtIn << kBuiltInPassword;
        QTest::newRow("only other products")
            << scrambleAccountFile(accountFile(accountEntry("P01", "o@x", "o"))) << builtIn << kBuiltInPassword;
        QTest::newRow("not scrambled") << accountFile(accountEntry("P00", "plain@x", "p")) << builtIn
                                       << kBuiltInPassword;
        QTest::newRow("not XML") << scrambleAccountFile("<EmailConfig><Email>") << builtIn << kBuiltInPassword;
        QTest::newRow("empty") << QByteArray() << builtIn << kBuiltInPassword;
        // Beyond the bounds of the parse (the DOM parser crashed on 50000 levels).
        QTest::newRow("nested 50000 deep")
            << scrambleAccountFile(accountFile(accountEntry("P00", "deep@x", "d") + QByteArray("<d>").repeated(50000) +
                                               QByteArray("</d>").repeated(50000)))
            << builtIn << kBuiltInPassword;
        QTest::newRow("missing") << QByteArray("-") << builtIn << kBuiltInPassword;
    }
    void accountFiles() {
        QFETCH(QByteArray, file);
        QFETCH(QString, user);
        QFETCH(QString, password);
        if (file != "-") QVERIFY(writeFile(app() + QStringLiteral("/encryptEmailFile.xml"), file));
        CFeedback dialog;
        dialog.readEmailConfig();
        QCOMPARE(dialog.GetEmailUser(), user);
        QCOMPARE(dialog.GetEmailPassword(), password);
    }

    // The account file is read on every send and its account is the one that
    // logs in and sends.
    void sendsWithTheFilesAccount() {
        TestSmtpServer other;
        QString error;
        QVERIFY2(other.start(QStringLiteral("filed@mail.maker.test"), QStringLiteral("from the file"), &error),
                 qPrintable(error));
        pointAt(other.port());
        CFeedback dialog;
        dialog.show();
        QVERIFY(writeFile(app() + QStringLiteral("/encryptEmailFile.xml"),
                          mailtest::scrambleAccountFile(mailtest::accountFile(
                              mailtest::accountEntry("P00", "filed@mail.maker.test", "from the file")))));
        QVERIFY(submit(dialog, QStringLiteral("user@x.example"), QStringLiteral("hello"))
                    .texts.contains(QStringLiteral("Submitted successfully.")));
        const QList<ReceivedMail> mails = other.messages(1);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails.first().login, QStringLiteral("filed@mail.maker.test"));
        QCOMPARE(mails.first().mailFrom, QStringLiteral("filed@mail.maker.test"));
    }

    void sendaChecksTheAddressOnly() {
        CFeedback dialog;
        dialog.show();
        dialog.findChild<QLineEdit*>(QStringLiteral("LabelEmailText"))->setText(QStringLiteral("abc"));
        BoxSeen seen;
        clickNextBox(&seen, &dialog);
        dialog.senda();
        QVERIFY(seen.texts.contains(QStringLiteral("Please enter a valid email address.")));
        QCOMPARE(seen.caption, QStringLiteral("Feedback"));
        QVERIFY(dialog.isVisible());
    }

    // The feedback goes under TLS wherever the server offers it: STARTTLS
    // with the certificate verified. A server without TLS still gets it in
    // plain text (the demo's server is one). A server whose certificate is not
    // trusted gets nothing: the send fails with the connection box and the
    // login never goes out, in plain text or otherwise.
    void startTls_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("tls");
        QTest::newRow("STARTTLS, trusted") << "starttls trusted" << true << true;
        QTest::newRow("no TLS") << "plain" << true << false;
        QTest::newRow("STARTTLS, certificate not trusted") << "starttls untrusted" << false << false;
        QTest::newRow("agreed, certificate not trusted, scripted") << "scripted" << false << false;
    }
    void startTls() {
        QFETCH(QString, server);
        QFETCH(bool, sent);
        QFETCH(bool, tls);
        const QSslConfiguration defaults = QSslConfiguration::defaultConfiguration();
        struct RestoreDefaults {
            QSslConfiguration config;
            ~RestoreDefaults() { QSslConfiguration::setDefaultConfiguration(config); }
        } restore{defaults};

        TestSmtpServer smtp;
        ScriptedSmtpServer scripted;
        QTemporaryDir certificateDir;
        if (server == QLatin1String("scripted")) {
            testsupport::TestCertificates certificates;
            QString error;
            QVERIFY2(testsupport::makeTestCertificates(certificateDir.path(), &certificates, &error),
                     qPrintable(error));
            QFile key(certificates.serverKey);
            QVERIFY(key.open(QIODevice::ReadOnly));
            scripted.setTlsIdentity(QSslCertificate::fromPath(certificates.serverCert).value(0),
                                    QSslKey(key.readAll(), QSsl::Ec));
            QVERIFY(scripted.start([](ScriptedSmtpServer::Session& s) {
                s.send("220 scripted ESMTP\r\n");
                if (!s.expect("EHLO localhost", "250-scripted\r\n250-STARTTLS\r\n250 AUTH PLAIN\r\n")) return;
                if (!s.expect("STARTTLS", "220 go ahead\r\n")) return;
                if (s.startTls()) return;
                // Whatever the client sends now is kept in lines().
                while (!s.readLine().isEmpty()) {
                }
            }));
            pointAt(scripted.port());
        } else {
            if (server != QLatin1String("plain")) smtp.setSecurity(TestSmtpServer::Security::StartTls);
            QString error;
            QVERIFY2(smtp.start(QLatin1String(kAccount), QLatin1String(kBuiltInPassword), &error), qPrintable(error));
            if (server == QLatin1String("starttls trusted")) {
                QSslConfiguration::setDefaultConfiguration(smtp.sslConfiguration());
            }
            pointAt(smtp.port());
        }

        CFeedback dialog;
        dialog.show();
        const BoxSeen seen = submit(dialog, QStringLiteral("user@x.example"), QStringLiteral("secret text"));
        QVERIFY(seen.shown);
        const QString box = sent ? QStringLiteral("Submitted successfully.")
                                 : QStringLiteral(
                                       "Sorry, it failed to submit the feedback. Please make sure you have "
                                       "a stable network connection and try it again.");
        QVERIFY2(seen.texts.contains(box), qPrintable(seen.texts));
        if (server == QLatin1String("scripted")) {
            scripted.finish();
            QCOMPARE(scripted.lines(), QList<QByteArray>({"EHLO localhost", "STARTTLS"}));
            return;
        }
        const QList<ReceivedMail> mails = smtp.messages(sent ? 1 : 0);
        QCOMPARE(mails.size(), sent ? 1 : 0);
        if (!sent) return;
        QCOMPARE(mails.first().tls, tls);
        QCOMPARE(mails.first().login, QLatin1String(kAccount));
        QVERIFY(mails.first().data.contains("secret text"));
    }
};

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"
