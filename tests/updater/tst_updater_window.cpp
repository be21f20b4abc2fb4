// The update window against a real update server (nginx) and a scripted
// download service: the check road, the version test, silent starts, the
// finish (digest, stopping the product, starting the installer) and its
// failures, the note line, the second-instance message and the painting.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <unistd.h>

#include "updater/ButtonImageStyle.h"
#include "updater/CLumeronUpdateStatus.h"
#include "updater/CReadConfiguration.h"
#include "FakeDownloadService.h"
#include "updater/LiveUpdate.h"
#include "updater/LiveUpdateStartup.h"
#include "UpdateServer.h"
#include "UpdaterAppFolder.h"
#include "toolkit/ZnStyleCommon.h"
#include "updater/libAutoUpdate.h"
#include "platform/Processes.h"
#include "platform/Programs.h"
#include "testsupport/GuiTestSupport.h"
#include "testsupport/ServerUtil.h"

using testsupport::TestNginx;
using updatertest::FakeDownloadService;
using updatertest::UpdaterAppFolder;

namespace {

QString productName() { return QStringLiteral("ZnProduct-%1").arg(::getpid()); }

// Closes the next failure dialog with its OK button, counting it.
void answerFailureDialog(int* count, QString* text = nullptr) {
    testsupport::onNextModal([count, text](QWidget* modal) {
        if (auto* dialog = qobject_cast<CLumeronUpdateStatus*>(modal)) {
            ++*count;
            if (text) *text = dialog->findChild<QLabel*>(QStringLiteral("labelText"))->text();
            QTest::mouseClick(dialog->findChild<QWidget*>(QStringLiteral("pushButtonOk")), Qt::LeftButton);
        } else {
            modal->close();
        }
    });
}

// Closes every failure dialog while it lives (a poll that outlived the test
// would write into its ended frame), counting them and keeping the last text.
class FailureDialogCloser : public QObject {
public:
    FailureDialogCloser() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* dialog = qobject_cast<CLumeronUpdateStatus*>(QApplication::activeModalWidget())) {
                ++count;
                text = dialog->findChild<QLabel*>(QStringLiteral("labelText"))->text();
                dialog->close();
            }
        });
        m_timer.start(20);
    }
    int count = 0;
    QString text;

private:
    QTimer m_timer;
};

}  // namespace

class UpdaterWindowTest : public QObject {
    Q_OBJECT

private:
    UpdaterAppFolder* m_app = nullptr;
    TestNginx* m_nginx = nullptr;

    bool startServer(const updatertest::UpdateServerContent& content) {
        m_nginx = new TestNginx;
        QString error;
        if (!updatertest::startUpdateServer(*m_nginx, content, &error)) qWarning() << error;
        return m_nginx->isRunning();
    }

    QString installerPath() const { return m_app->path(QStringLiteral("update/CorvaneSetup.exe")); }

    // A server for `content` with its installer already downloaded, as the
    // download service leaves it (without execute bit).
    bool startWithDownloaded(const updatertest::UpdateServerContent& content) {
        return startServer(content) && updatertest::writeFile(installerPath(), content.installer);
    }

    LiveUpdate* makeWindow(bool silent, const QString& serverUrl = QString()) {
        CReadConfiguration::GetInstance()->ReadConfig();
        auto* window = new LiveUpdate;
        window->setProperty("silent", silent);
        window->setProperty("app_name", CReadConfiguration::GetInstance()->GetPName());
        window->setProperty("server_url",
                            serverUrl.isEmpty() ? m_nginx->httpUrl(QStringLiteral("/verinfo?")) : serverUrl);
        window->setProperty("extra_note", QStringLiteral("Extra. "));
        window->initWindow();
        return window;
    }

    static QString text(LiveUpdate* window) {
        return window->findChild<QTextEdit*>(QStringLiteral("textEditUpdateInfo"))->toPlainText();
    }
    static QWidget* updateButton(LiveUpdate* window) {
        return window->findChild<QWidget*>(QStringLiteral("btnUpdate"));
    }
    static QWidget* progressRow(LiveUpdate* window) {
        return window->findChild<QWidget*>(QStringLiteral("widgetProgress"));
    }

    // Runs the check of a new window until the Update button is enabled and
    // the digest has been fetched (the last of six requests); null when that
    // does not happen within 10 s.
    LiveUpdate* checkedWindow() {
        LiveUpdate* window = makeWindow(false);
        window->show();
        // Each reply to a fetched URL (the notes, the digest) ends with type -1.
        QSignalSpy replies(window->findChild<libAutoUpdate*>(), &libAutoUpdate::signalGetInfo);
        const auto urlReplies = [&replies] {
            int count = 0;
            for (const auto& args : replies) count += args.at(0).toInt() == -1;
            return count;
        };
        if (!QTest::qWaitFor([&] { return urlReplies() == 2; }, 10000)) {
            delete window;
            return nullptr;
        }
        return window;
    }

private slots:
    void initTestCase() { initStyleCommon(QStringLiteral(ZN_APP_DIR "/skin/")); }

    void init() {
        m_app = new UpdaterAppFolder(productName());
        platform::setApplicationDir(m_app->path());
    }
    void cleanup() {
        delete m_nginx;
        m_nginx = nullptr;
        platform::setApplicationDir(QString());
        platform::setProcessTableRoot(QString());
        delete m_app;
    }

    // One full check asks, in this order: ver, info (en_GB), the notes, link,
    // exinfo, the digest; the notes are shown and Update is enabled.
    void theCheckRoad() {
        ZN_REQUIRE_BINARY("nginx");
        QVERIFY(startServer({}));
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);
        QVERIFY(updateButton(window)->isEnabled());
        QStringList uris;
        for (const auto& entry : m_nginx->accessLog(6)) uris << entry.uri;
        QCOMPARE(uris, (QStringList{"/verinfo?pid=CORVANE-2&type=ver", "/verinfo?pid=CORVANE-2&type=info&lang=en_GB",
                                    "/notes/whatsnew.html", "/verinfo?pid=CORVANE-2&type=link",
                                    "/verinfo?pid=CORVANE-2&type=exinfo", "/download/CorvaneSetup.sha1"}));
        QCOMPARE(text(window), QStringLiteral("What's New\nFaster repairs."));
        QVERIFY(!window->windowIcon().isNull());
        QVERIFY(!progressRow(window)->isVisible());
        delete window;
    }

    // Dotted decimal versions are compared number by number; any other text
    // in plain-text order.
    void theVersionTest_data() {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("shown");
        const QString none = QStringLiteral("No updates available.");
        const QString newer = QStringLiteral("New Release!");
        QTest::newRow("1.9.0 vs 1.10.0") << "1.9.0"
                                         << "1.10.0" << newer;
        QTest::newRow("2.0.1.6 vs 2.0.1.10") << "2.0.1.6"
                                             << "2.0.1.10" << newer;
        QTest::newRow("2.0.1.6 vs 10.0.0.0") << "2.0.1.6"
                                             << "10.0.0.0" << newer;
        QTest::newRow("2.0.1.10 vs 2.0.1.9") << "2.0.1.10"
                                             << "2.0.1.9" << none;
        QTest::newRow("same") << "2.0.1.6"
                              << "2.0.1.6" << none;
        QTest::newRow("newer") << "2.0.1.6"
                               << "2.0.1.7" << newer;
        QTest::newRow("no version block") << ""
                                          << "0.1" << newer;
        QTest::newRow("not dotted decimal: plain text") << "2.0.1.6"
                                                        << "10.0 beta" << none;
    }
    void theVersionTest() {
        QFETCH(QString, installed);
        QFETCH(QString, server);
        QFETCH(QString, shown);
        ZN_REQUIRE_BINARY("nginx");
        m_app->setInstalledVersion(installed);
        updatertest::UpdateServerContent content;
        content.version = server;
        QVERIFY(startServer(content));
        LiveUpdate* window = makeWindow(false);
        // What the window shows right after it has handled "ver" (this
        // connection comes after the window's own).
        QString afterVer;
        connect(window->findChild<libAutoUpdate*>(), &libAutoUpdate::signalGetInfo, this,
                [&afterVer, window](int type) {
                    if (type == kInfoVer) afterVer = text(window);
                });
        QTRY_COMPARE(afterVer, shown);
        delete window;
    }

    // Silent, update found: the window comes up with "New Release!". (The
    // silent starts that end the program are run with the program itself.)
    void aSilentStartShowsTheWindowForAnUpdate() {
        ZN_REQUIRE_BINARY("nginx");
        QVERIFY(startServer({}));
        LiveUpdate* window = makeWindow(true);
        QVERIFY(window->isHidden());
        QTRY_VERIFY(window->isVisible());
        QTRY_COMPARE(updateButton(window)->isEnabled(), true);
        delete window;
    }

    // An empty "link" keeps Update disabled, and the road still asks "exinfo".
    void anEmptyLinkKeepsUpdateDisabled() {
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.emptyLink = true;
        QVERIFY(startServer(content));
        LiveUpdate* window = makeWindow(false);
        QTRY_COMPARE(m_nginx->accessLog().size(), 6);
        const auto log = m_nginx->accessLog();
        QCOMPARE(log.at(4).uri, QStringLiteral("/verinfo?pid=CORVANE-2&type=exinfo"));
        QTest::qWait(100);
        QVERIFY(!updateButton(window)->isEnabled());
        delete window;
    }

    // The whole finish: the digest matches, the product's first process is
    // ended, the installer (with its execute bit) is started detached with
    // "/VERYSILENT /SUPPRESSMSGBOXES" and the window closes.
    void aVerifiedDownloadStartsTheInstaller() {
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(10);
        QVERIFY(startWithDownloaded(content));
        const QString installer = installerPath();
        QProcess first, second;
        first.start(m_app->productPath(), {QStringLiteral("300")});
        QVERIFY(first.waitForStarted());
        second.start(m_app->productPath(), {QStringLiteral("300")});
        QVERIFY(second.waitForStarted());

        FakeDownloadService fake;
        fake.script({FakeDownloadService::status(3, 100, 0.5f), FakeDownloadService::status(4)});
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QCOMPARE(fake.lastUrl, m_nginx->httpUrl(QStringLiteral("/download/CorvaneSetup.exe")));
        QCOMPARE(fake.lastTarget, installer);
        QVERIFY(!updateButton(window)->isEnabled());
        QVERIFY(progressRow(window)->isVisible());

        QTRY_VERIFY(!window->isVisible());
        updatertest::verifyStartedSilently(installer);
        QTRY_COMPARE(first.state(), QProcess::NotRunning);
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        QCOMPARE(second.state(), QProcess::Running);
        second.kill();
        second.waitForFinished();
        delete window;
    }

    // The server's digest as servers write it: any letter case, with white
    // space around it, runs the installer; anything but the file's 40 hex
    // digits gives the failure dialog, removes the file, runs no installer,
    // enables Update again and hides the progress row.
    void theDigestCheck_data() {
        QTest::addColumn<QString>("digest");  // <sha1> and <other> stand for digests
        QTest::addColumn<bool>("accepted");
        QTest::newRow("upper case") << "<SHA1>" << true;
        QTest::newRow("lower case with a line end") << "<sha1>\n" << true;
        QTest::newRow("blanks and CR LF around it") << "  <sha1>\r\n" << true;
        QTest::newRow("another file's digest") << "<other>" << false;
        QTest::newRow("short") << "<short>" << false;
        QTest::newRow("not hex") << "<nothex>" << false;
        QTest::newRow("blank") << " \n" << false;
    }
    void theDigestCheck() {
        QFETCH(QString, digest);
        QFETCH(bool, accepted);
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(10);
        const QString sha1 = updatertest::upperSha1(content.installer);
        content.digest = digest.replace(QStringLiteral("<SHA1>"), sha1)
                             .replace(QStringLiteral("<sha1>"), sha1.toLower())
                             .replace(QStringLiteral("<other>"), updatertest::upperSha1("other"))
                             .replace(QStringLiteral("<short>"), sha1.left(39))
                             .replace(QStringLiteral("<nothex>"), sha1.left(39) + QLatin1Char('G'));
        QVERIFY(startWithDownloaded(content));
        const QString installer = installerPath();
        FakeDownloadService fake;
        fake.script({FakeDownloadService::status(4)});
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);

        FailureDialogCloser dialogs;
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        if (accepted) {
            QTRY_VERIFY(!window->isVisible() || dialogs.count > 0);
            QCOMPARE(dialogs.count, 0);
            updatertest::verifyStartedSilently(installer);
            delete window;
            return;
        }
        QTRY_COMPARE(dialogs.count, 1);
        QCOMPARE(
            dialogs.text,
            QStringLiteral("Update Failed. Please make sure you are connected to a stable network and try again."));
        QTRY_VERIFY(updateButton(window)->isEnabled());
        QVERIFY(!progressRow(window)->isVisible());
        QVERIFY(window->isVisible());
        QVERIFY(!QFile::exists(installer));
        QVERIFY(!QFile::exists(installer + QStringLiteral(".args")));
        delete window;
    }

    // A product that cannot be stopped (here: the process table cannot be
    // read) gives the failure dialog three times, then the update gives up
    // without starting the installer and enables Update again.
    void aProductThatCannotBeStoppedEndsTheAttempt() {
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(10);
        QVERIFY(startWithDownloaded(content));
        FakeDownloadService fake;
        fake.script({FakeDownloadService::status(4)});
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);

        platform::setProcessTableRoot(m_app->path(QStringLiteral("no-process-table")));
        FailureDialogCloser dialogs;
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_VERIFY(updateButton(window)->isEnabled());
        QCOMPARE(dialogs.count, LiveUpdate::kStopRounds);
        QVERIFY(window->isVisible());
        QVERIFY(!QFile::exists(installerPath() + QStringLiteral(".args")));
        delete window;
    }

    // The download cannot be started: the failure dialog. The task fails in
    // the engine: "Download failed." with Update enabled again, and a second
    // click starts the same task again, which then finishes the update.
    void downloadFailures() {
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.installer = updatertest::fakeInstaller(10);
        QVERIFY(startServer(content));
        FakeDownloadService fake;
        fake.startResult = false;
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);
        int dialogs = 0;
        answerFailureDialog(&dialogs);
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_COMPARE(dialogs, 1);
        QTRY_VERIFY(updateButton(window)->isEnabled());
        QVERIFY(!progressRow(window)->isVisible());

        fake.startResult = true;
        fake.script({FakeDownloadService::status(3, 1000, 0.375f), FakeDownloadService::status(1)});
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QTRY_COMPARE(text(window), QStringLiteral("Download failed."));
        QVERIFY(updateButton(window)->isEnabled());
        QVERIFY(progressRow(window)->isVisible());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelProgressValue"))->text(), QStringLiteral("37 %"));

        const QString installer = installerPath();
        QVERIFY(updatertest::writeFile(installer, content.installer));
        fake.lastTarget.clear();
        fake.script({FakeDownloadService::status(4)});
        QTest::mouseClick(updateButton(window), Qt::LeftButton);
        QCOMPARE(fake.lastTarget, installer);
        updatertest::verifyStartedSilently(installer);
        delete window;
    }

    // Release notes of any size: what is shown is bounded, ends with the line
    // saying the notes were cut, holds no run without a break opportunity
    // longer than 512 characters, and a word longer than the box breaks
    // anywhere. (10 MB of one line without blanks took minutes to lay out.)
    void longReleaseNotesAreBounded_data() {
        QTest::addColumn<QByteArray>("notes");
        QTest::addColumn<QString>("start");
        QTest::newRow("10 MB, one line without blanks") << QByteArray(10 * 1024 * 1024, 'x') << QStringLiteral("xxx");
        QByteArray html = "<h3>What's New</h3>\n";
        while (html.size() < 2 * 1024 * 1024) html += "<p>Faster repairs, " + QByteArray(200, 'y') + "</p>\n";
        QTest::newRow("2 MB of HTML") << html << QStringLiteral("What's New\nFaster repairs, yyy");
    }
    void longReleaseNotesAreBounded() {
        QFETCH(QByteArray, notes);
        QFETCH(QString, start);
        ZN_REQUIRE_BINARY("nginx");
        updatertest::UpdateServerContent content;
        content.notes = notes;
        QVERIFY(startServer(content));
        LiveUpdate* window = checkedWindow();
        QVERIFY(window);
        auto* box = window->findChild<QTextEdit*>(QStringLiteral("textEditUpdateInfo"));
        QCOMPARE(box->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
        const QString shown = text(window);
        QVERIFY(shown.startsWith(start));
        // The limit, its break opportunities, and the closing line.
        const int bound = LiveUpdate::kMaxShownNotes + LiveUpdate::kMaxShownNotes / LiveUpdate::kMaxUnbrokenRun + 100;
        QVERIFY2(shown.size() <= bound, qPrintable(QString::number(shown.size())));
        QVERIFY(shown.endsWith(QStringLiteral("The release notes are longer than shown here and were cut.")));
        // No run the box has to lay out as one word is longer than 512.
        int run = 0, longest = 0;
        for (const QChar c : shown) {
            run = c.isSpace() || c == QChar(0x200B) ? 0 : run + 1;
            longest = qMax(longest, run);
        }
        QVERIFY2(longest <= LiveUpdate::kMaxUnbrokenRun, qPrintable(QString::number(longest)));
        delete window;
    }

    // The note line: the extra note and the download page, unless "/custom"
    // exists in the application folder.
    void theNoteLine() {
        LiveUpdate* window = makeWindow(false, QStringLiteral("http://127.0.0.1:1/verinfo?"));
        window->show();
        auto* note = window->findChild<QLabel*>(QStringLiteral("labelNote"));
        QTRY_VERIFY(note->text().contains(QStringLiteral("https://www.corvane.example/download")));
        QVERIFY(note->text().contains(
            QStringLiteral("Extra. You can always download the newest version of Corvane by clicking here:")));
        QVERIFY(note->isVisible());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelProductName"))->text(), QStringLiteral("Corvane"));
        delete window;

        QVERIFY(updatertest::writeFile(m_app->path(QStringLiteral("custom")), QByteArray()));
        window = makeWindow(false, QStringLiteral("http://127.0.0.1:1/verinfo?"));
        window->show();
        note = window->findChild<QLabel*>(QStringLiteral("labelNote"));
        QTest::qWait(50);
        QVERIFY(!note->isVisible());
        QVERIFY(note->text().isEmpty());
        delete window;
    }

    // Only exactly "active" brings the window up.
    void messagesFromAnotherInstance() {
        LiveUpdate* window = makeWindow(true, QStringLiteral("http://127.0.0.1:1/verinfo?"));
        window->slotMsgReceivedFromOtherInstance(QStringLiteral("Active"));
        QVERIFY(window->isHidden());
        window->slotMsgReceivedFromOtherInstance(QStringLiteral("active"));
        QVERIFY(window->isVisible());
        delete window;
    }

    // The shadow frame's alpha stays within 0..255 for any width; the
    // outermost ring is the faintest.
    void shadowAlpha() {
        QCOMPARE(LiveUpdate::shadowAlpha(5, 0), 111);
        QCOMPARE(LiveUpdate::shadowAlpha(5, 4), 11);
        for (int width : {2, 5, 26, 30, 100, 1000}) {
            for (int ring = 0; ring < width; ++ring) {
                const int alpha = LiveUpdate::shadowAlpha(width, ring);
                QVERIFY2(alpha >= 0 && alpha <= 255, qPrintable(QStringLiteral("%1/%2").arg(width).arg(ring)));
                if (ring > 0) QVERIFY(alpha <= LiveUpdate::shadowAlpha(width, ring - 1));
            }
        }
        // Painting a wide frame works as well.
        LiveUpdate* window = makeWindow(false, QStringLiteral("http://127.0.0.1:1/verinfo?"));
        window->setShadowWidth(40);
        QVERIFY(!window->grab().isNull());
        delete window;
    }

    // The result dialog by status; its caption is the parent's product name.
    void statusDialog_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("image");
        QTest::newRow("failed")
            << 1 << "Update Failed. Please make sure you are connected to a stable network and try again." << true;
        QTest::newRow("completed") << 0 << "Update completed!" << true;
        QTest::newRow("other") << 7 << "TextLabel" << false;
    }
    void statusDialog() {
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(bool, image);
        QWidget owner;
        owner.setProperty("app_name", QStringLiteral("Corvane"));
        CLumeronUpdateStatus dialog(status, &owner);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("labelText"))->text(), text);
        auto* gif = dialog.findChild<QLabel*>(QStringLiteral("labelGif"));
        QCOMPARE(!gif->pixmap(Qt::ReturnByValue).isNull(), image);
        if (!image) QCOMPARE(gif->text(), QStringLiteral("gif"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("labelCaptionText"))->text(), QStringLiteral("Corvane"));
        dialog.show();
        QTest::mouseClick(dialog.findChild<QWidget*>(QStringLiteral("pushButtonOk")), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }

    // Every shipped translation's texts fit their labels and buttons: a
    // wrapped label is tall enough for its text, a button wide enough.
    void everyTranslationFits() {
        ZnStyleCommon::installPlatformFonts();
        const QDir folder(QStringLiteral(ZN_APP_DIR "/language/qm/LiveUpdate"));
        const QStringList files = folder.entryList({QStringLiteral("*.qm")}, QDir::Files);
        QVERIFY(files.contains(QStringLiteral("English.qm")));
        QVERIFY(files.contains(QStringLiteral("Deutsch.qm")));
        const auto fits = [](QWidget* widget, const QString& what) {
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                // The dialog's form leaves its label one pixel short of two
                // whole lines, English included: half the last line's
                // descent may be clipped, never a line.
                const int needed = label->heightForWidth(label->width());
                return label->text().isEmpty() || needed <= label->height() + label->fontMetrics().descent() / 2 ||
                       (qWarning() << what << label->text() << needed << ">" << label->height(), false);
            }
            auto* button = qobject_cast<QPushButton*>(widget);
            const int needed = button->fontMetrics().horizontalAdvance(button->text());
            return needed <= button->width() ||
                   (qWarning() << what << button->text() << needed << ">" << button->width(), false);
        };
        for (const QString& file : files) {
            QTranslator translator;
            QVERIFY(translator.load(folder.filePath(file)));
            QCoreApplication::installTranslator(&translator);
            QWidget owner;
            owner.setProperty("app_name", QStringLiteral("Corvane"));
            for (int status : {0, 1}) {
                CLumeronUpdateStatus dialog(status, &owner);
                dialog.show();
                QVERIFY(QTest::qWaitForWindowExposed(&dialog));
                const QString what = file + QStringLiteral(" status %1").arg(status);
                QVERIFY2(fits(dialog.findChild<QLabel*>(QStringLiteral("labelText")), what), qPrintable(what));
                QVERIFY2(fits(dialog.findChild<QPushButton*>(QStringLiteral("pushButtonOk")), what), qPrintable(what));
            }
            LiveUpdate* window = makeWindow(false, QStringLiteral("http://127.0.0.1:1/verinfo?"));
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            for (const char* name : {"btnUpdate", "btnCancel"})
                QVERIFY2(fits(window->findChild<QPushButton*>(QLatin1String(name)), file), qPrintable(file));
            delete window;
            QCoreApplication::removeTranslator(&translator);
        }
    }

    void buttonImageStyle() {
        QPushButton button;
        button.setStyleSheet(QStringLiteral("QPushButton{color:red;}"));
        setButtonImageStyle(&button, "n.svg", "h.svg", "p.svg", "d.svg", "#1", "#2", "#3", "#4", "/img/");
        QCOMPARE(button.styleSheet(),
                 QStringLiteral("QPushButton::hover{ color: #2; border: none; image: url(/img/h.svg); }"
                                "QPushButton::pressed{ color: #3; border:none; image: url(/img/p.svg);}"
                                "QPushButton::!enabled{ color: #4; border:none; image: url(/img/d.svg);}"
                                "QPushButton{ color: #1; border:none; image: url(/img/n.svg);}"));
    }

    // SHA-1 in upper-case hex; a file that cannot be read to the size it
    // reports gives a null digest (which never matches).
    void fileDigest() {
        QVERIFY(updatertest::writeFile(m_app->path(QStringLiteral("abc")), "abc"));
        QCOMPARE(LiveUpdate::getFileDigest(m_app->path(QStringLiteral("abc"))),
                 QStringLiteral("A9993E364706816ABA3E25717850C26C9CD0D89D"));
        QVERIFY(LiveUpdate::getFileDigest(m_app->path(QStringLiteral("missing"))).isNull());
        QVERIFY(updatertest::writeFile(m_app->path(QStringLiteral("big")), QByteArray(10000, 'x')));
        QCOMPARE(LiveUpdate::getFileDigest(m_app->path(QStringLiteral("big"))),
                 updatertest::upperSha1(QByteArray(10000, 'x')));

        // Kernel attribute files report 4096 bytes and hold fewer.
        const QString attribute = QStringLiteral("/sys/devices/system/cpu/online");
        if (!QFileInfo(attribute).isReadable() ||
            QFileInfo(attribute).size() <= updatertest::readFile(attribute).size())
            QSKIP("no attribute file that reports more bytes than it holds");
        QVERIFY(LiveUpdate::getFileDigest(attribute).isNull());
    }
};

QTEST_MAIN(UpdaterWindowTest)
#include "tst_updater_window.moc"
