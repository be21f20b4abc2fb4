// The feedback button of the main window starts our Feedback program, which a
// user fills in on a real (virtual) display: the mail arrives at aiosmtpd with
// the crash dump and the log files attached (the engine's own among them, and
// one whose name would break a header line if written raw), and the program
// ends after the success box.
//
// The main window runs here (offscreen); the Feedback program it starts runs
// under its own Xvfb and is driven with xdotool at the places where an
// identical dialog built in this process has its fields and buttons.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "AppTestSupport.h"
#include "mail/Feedback.h"
#include "app/FixiTunes.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnStyleButton.h"
#include "support/MailTestSupport.h"
#include "testsupport/GuardedProcess.h"
#include "testsupport/ServerUtil.h"
#include "testsupport/TestSmtpServer.h"

using testsupport::ReceivedMail;
using testsupport::TestSmtpServer;

namespace {

const char kAccount[] = "feedback@mail.maker.test";
const char kPassword[] = "quorvel@586";
const char kMailTo[] = "care@mail.maker.test";

// xdotool with its arguments; its output, empty when it failed or took longer
// than 20 s.
QString xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QPoint windowPosition(const QString& window) {
    QPoint position(-1, -1);
    for (const QString& line :
         xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("X="))) position.setX(line.mid(2).toInt());
        if (line.startsWith(QLatin1String("Y="))) position.setY(line.mid(2).toInt());
    }
    return position;
}

void clickAt(const QPoint& point) {
    xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y()),
             QStringLiteral("click"), QStringLiteral("1")});
}

// Centre of a child widget inside its window.
QPoint centreIn(QWidget* window, const char* name) {
    auto* widget = window->findChild<QWidget*>(QLatin1String(name));
    return widget ? widget->mapTo(window, widget->rect().center()) : QPoint();
}

}  // namespace

class TestFeedbackProgram : public QObject {
    Q_OBJECT

private:
    // Xvfb under a guard: it goes with this test, however the test ends.
    testsupport::GuardedProcess m_xvfb;
    QTemporaryDir m_xvfbDir;
    QString m_display;

private slots:
    void initTestCase() {
        ZN_REQUIRE_BINARY("Xvfb");
        ZN_REQUIRE_BINARY("xdotool");
        // Xvfb picks a free display and writes its number as a line of its own
        // to its standard output (the log file).
        const QString log = m_xvfbDir.path() + QStringLiteral("/xvfb.log");
        m_xvfb.setProgram(QStandardPaths::findExecutable(QStringLiteral("Xvfb")));
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                             QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-dpi"), QStringLiteral("96")});
        m_xvfb.setLogFile(log);
        QString error;
        QVERIFY2(m_xvfb.start(&error), qPrintable(error));
        const QRegularExpression number(QStringLiteral("^(\\d+)$"), QRegularExpression::MultilineOption);
        auto displayNumber = [&]() {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) ? number.match(QString::fromLatin1(file.readAll())).captured(1)
                                                  : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!displayNumber().isEmpty(), 20000);
        m_display = QLatin1Char(':') + displayNumber();
        // For the programs this test starts (this process stays offscreen).
        qputenv("DISPLAY", m_display.toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");

        qputenv("SORVEL_ROOT", QByteArray(QDir::tempPath().toLocal8Bit() + "/no-sorvel-tree"));
        qputenv("CORVANE_PRODUCT_INFO_SERVER", "http://127.0.0.1:1");
        qputenv("CORVANE_CONFIG_SERVER", "http://127.0.0.1:1");
        qputenv("CORVANE_UPDATE_SERVER", "http://127.0.0.1:1");
        qputenv("CORVANE_FEEDBACK_ACCOUNT", kAccount);
        qputenv("CORVANE_FEEDBACK_MAILTO", kMailTo);
        qputenv("CORVANE_MAIL_SERVER", "127.0.0.1");
    }

    void cleanupTestCase() { m_xvfb.stop(); }

    void feedbackButtonSendsAMail() {
        TestSmtpServer smtp;
        QString error;
        QVERIFY2(smtp.start(QLatin1String(kAccount), QLatin1String(kPassword), &error), qPrintable(error));
        qputenv("CORVANE_MAIL_SERVER_PORT", QByteArray::number(smtp.port()));

        // The application folder: the real Feedback program, a crash dump and
        // a log file.
        apptest::AppFolder folder;
        QVERIFY(folder.isValid());
        const QString feedback = folder.program(QStringLiteral("Feedback"));
        QVERIFY(QFile::remove(feedback));
        QVERIFY(QFile::copy(QStringLiteral(ZN_APP_DIR "/Feedback"), feedback));
        QByteArray dump;
        for (int i = 0; i < 2048; ++i) dump.append(static_cast<char>(i % 251));
        QFile dumpFile(folder.path() + QStringLiteral("/crashcore.dmp"));
        QVERIFY(dumpFile.open(QIODevice::WriteOnly));
        dumpFile.write(dump);
        dumpFile.close();
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("Log")));
        QFile log(folder.path() + QStringLiteral("/Log/Corvane.log"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("started\nrepaired\n");
        log.close();
        // A log whose name would end its header line if written raw.
        const QString oddName = QStringLiteral("we\"ird\r\nX-Evil: 1\r\n\r\nforged.log");
        QFile odd(folder.path() + QStringLiteral("/Log/") + oddName);
        QVERIFY(odd.open(QIODevice::WriteOnly));
        odd.write("odd one\n");
        odd.close();
        platform::setApplicationDir(folder.path());
        apptest::initStyle(folder.path());

        // Where the fields and buttons are: an identical dialog and box here.
        CFeedback layout;
        layout.show();
        const QPoint emailField = centreIn(&layout, "LabelEmailText");
        const QPoint contentField = centreIn(&layout, "LabelContentText");
        const QPoint submitButton = centreIn(&layout, "ButtonSubmit");
        ZnMessageBox boxLayout(CFeedback::tr("Submitted successfully."), QStringLiteral("Brelion Corvane"),
                               ZnMessageBoxButton::Ok, nullptr);
        boxLayout.show();
        const QPoint okButton = centreIn(&boxLayout, "pushButton_ok");
        layout.hide();
        boxLayout.hide();

        FixiTunes window;
        QTest::mouseClick(window.findChild<ZnStyleButton*>(QStringLiteral("pushButton_Feedback")), Qt::LeftButton);
        QProcess* program = nullptr;
        for (QProcess* p : window.findChildren<QProcess*>()) {
            if (p->program() == feedback) program = p;
        }
        QVERIFY(program);
        // The window deletes its process object once the program has ended, so
        // the end is recorded from the signal and the object is watched through
        // a guarded pointer.
        QPointer<QProcess> watched(program);
        bool ended = false;
        int exitCode = -1;
        QProcess::ExitStatus exitStatus = QProcess::CrashExit;
        connect(program, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [&](int code, QProcess::ExitStatus status) {
                    ended = true;
                    exitCode = code;
                    exitStatus = status;
                });
        QCOMPARE(program->arguments(),
                 QStringList({QLatin1String(kMailTo), QCoreApplication::applicationFilePath(), QLatin1String(kAccount),
                              QLatin1String(kPassword), QStringLiteral("1")}));
        QTRY_VERIFY_WITH_TIMEOUT(watched && watched->state() == QProcess::Running, 10000);
        const QString pid = QString::number(watched->processId());

        // The user fills in the dialog and submits it.
        const QString dialog = xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                                        QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid})
                                   .section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(!dialog.isEmpty(), "the Feedback program shows no window");
        const QPoint at = windowPosition(dialog);
        clickAt(at + emailField);
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"),
                 QStringLiteral("jane@example.com")});
        clickAt(at + contentField);
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"),
                 QStringLiteral("iTunes works again")});
        clickAt(at + submitButton);

        const QList<ReceivedMail> mails = smtp.messages(1, 60000);
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails.first().login, QLatin1String(kAccount));
        QCOMPARE(mails.first().recipients, QStringList{QLatin1String(kMailTo)});
        const mailtest::ParsedMail mail = mailtest::parseMail(mails.first().data);
        QVERIFY2(mail.ok, qPrintable(mail.error));
        QVERIFY2(mail.defects.isEmpty(), qPrintable(mail.defects.join(", ")));
        QVERIFY(!mails.first().data.contains("\nX-Evil"));
        QVERIFY(!mails.first().data.contains("\nforged"));
        // The text, then the dump and the logs of Log/ (smallest first).
        QCOMPARE(mail.parts.size(), 5);
        const QString body = QString::fromUtf8(mail.parts.at(0).payload);
        QVERIFY2(
            body.startsWith(QStringLiteral("客户邮箱：\tjane@example.com\n版本号：\t" ZN_EXPECTED_FILE_VERSION "\n")),
            qPrintable(body));
        QVERIFY2(body.endsWith(QStringLiteral("\niTunes works again")), qPrintable(body));
        QCOMPARE(mail.parts.at(1).fileName, QStringLiteral("crashcore.dmp"));
        QCOMPARE(mail.parts.at(1).payload, dump);
        QMap<QString, QByteArray> logs;
        for (const mailtest::ParsedPart& part : mail.parts.mid(2)) {
            QCOMPARE(part.fileNameStrict, part.fileName);
            logs.insert(part.fileName, part.payload);
        }
        QCOMPARE(logs.keys(), QStringList({QStringLiteral("Corvane.log"), QStringLiteral("Sorvel.log"), oddName}));
        QCOMPARE(logs.value(QStringLiteral("Corvane.log")), QByteArray("started\nrepaired\n"));
        QCOMPARE(logs.value(oddName), QByteArray("odd one\n"));
        // The engine the window loaded from this folder logged its operations
        // there: the window's start asks it for the iTunes version and bits.
        const QString engineLog = QString::fromUtf8(logs.value(QStringLiteral("Sorvel.log")));
        QVERIFY2(engineLog.contains(QRegularExpression(
                     QStringLiteral(
                         "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [+-]\\d{4} GetiTunesVersion -> \"\"$"),
                     QRegularExpression::MultilineOption)),
                 qPrintable(engineLog));
        QVERIFY2(engineLog.contains(QStringLiteral(" GetiTunesVersionBit -> 0\n")), qPrintable(engineLog));

        // The success box; its OK closes the dialog, and the program ends.
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(box = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid})
                        .split(QLatin1Char('\n'))
                        .filter(QRegularExpression(QStringLiteral("^(?!") + dialog + QStringLiteral("$)\\d+$")))
                        .value(0))
                 .isEmpty(),
            20000);
        clickAt(windowPosition(box) + okButton);
        QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
        QCOMPARE(exitStatus, QProcess::NormalExit);
        QCOMPARE(exitCode, 0);
    }
};

QTEST_MAIN(TestFeedbackProgram)
#include "tst_feedback_program.moc"
