// The main window frame: its fixed frame and first page, the outside programs
// it starts (fake programs in a temporary application folder record their
// arguments), the two start-up timers, the tools menu, the exit question, the
// installer table's component address, the termination of iTunes, a missing
// engine, and engine callbacks that arrive after the window is gone.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>

#include <signal.h>

#include "app/About.h"
#include "AppTestSupport.h"
#include "repair/CheckiTunesExceptionProcess.h"
#include "gateway/Controller.h"
#include "app/EngineCallbackScope.h"
#include "app/FeedbackAccount.h"
#include "app/FixiTunes.h"
#include "app/FixiTunesHome.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnStyleButton.h"

namespace {

// What the fake engine script answers; written per test.
void writeScript(const QString& path, const QByteArray& json) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
}

QString messageBoxText(QWidget* box) {
    QString text;
    for (QLabel* label : box->findChildren<QLabel*>())
        if (!label->text().isEmpty()) text += label->text() + QLatin1Char('\n');
    return text;
}

// The engine calls this from its own thread; it must find no window once the
// window is gone.
std::atomic<int> g_callbacks{0};
std::atomic<int> g_callbacksWithWindow{0};
void recordingCallback(void* context, int, void*) {
    CEngineCallbackScope scope(context);
    if (scope.Window()) {
        scope.Window()->objectName();  // touches the window: must still be alive
        ++g_callbacksWithWindow;
    }
    ++g_callbacks;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_base.isValid());
        m_script = m_base.path() + QStringLiteral("/engine-script.json");
        qputenv("SORVEL_SCRIPT", m_script.toLocal8Bit());
        qputenv("SORVEL_ROOT", (m_base.path() + QStringLiteral("/no-tree")).toLocal8Bit());
        qputenv("CORVANE_WEB_SITE", "https://www.maker.test");
        qputenv("CORVANE_FACEBOOK_PAGE", "https://facebook.test/maker");
        qputenv("CORVANE_TWITTER_PAGE", "https://twitter.test/maker");
        qputenv("CORVANE_UPDATE_SERVER", "https://update.maker.test");
        qputenv("CORVANE_FEEDBACK_MAILTO", "care@mail.maker.test");
        qputenv("CORVANE_FEEDBACK_ACCOUNT", "feedback@mail.maker.test");
        // The configuration downloads at start find nothing listening and end
        // at once.
        qputenv("CORVANE_PRODUCT_INFO_SERVER", "http://127.0.0.1:1");
        qputenv("CORVANE_CONFIG_SERVER", "http://127.0.0.1:1");
    }

    // Every test gets a fresh application folder, so that programs started by
    // an earlier test cannot write into this one's records.
    void init() {
        writeScript(m_script, R"({"GetiTunesVersion": {"result": "12.7.2.60"},
                                  "GetiTunesVersionBit": {"result": 1},
                                  "CheckiTunes": {"callbacks": [{"state": 6, "record": {"failCount": 0}}]}})");
        m_folder = std::make_unique<apptest::AppFolder>();
        QVERIFY(m_folder->isValid());
        platform::setApplicationDir(m_folder->path());
        apptest::initStyle(m_folder->path());
    }
    void cleanup() { m_folder.reset(); }

    // The detection page comes first; the product check at the end of the
    // start-up downloads leads home (the engine finds no damage here).
    void frameIsFixedAndShowsTheDetectionThenTheHomePage() {
        FixiTunes window;
        QCOMPARE(FixiTunes::GetInstance(), &window);
        QVERIFY(window.IsEngineLoaded());
        QCOMPARE(window.size(), QSize(1010, 628));
        QCOMPARE(window.minimumSize(), QSize(1010, 628));
        QCOMPARE(window.maximumSize(), QSize(1010, 628));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("label_ProductName"))->text(),
                 QStringLiteral("Brelion Corvane"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* detection = window.findChild<CCheckiTunesExceptionProcess*>();
        QVERIFY(detection);
        QVERIFY(detection->isVisible());
        QVERIFY(!window.findChild<CFixiTunesHome*>());

        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<CFixiTunesHome*>(), 15000);
        auto* home = window.findChild<CFixiTunesHome*>();
        QCOMPARE(home->parentWidget(), window.findChild<QWidget*>(QStringLiteral("widgetMain")));
        QTRY_VERIFY(home->isVisible());
        QVERIFY(!detection->isVisible());
        QCOMPARE(home->findChild<QLabel*>(QStringLiteral("label_version"))->text(),
                 QStringLiteral("iTunes Version: 12.7.2.60"));
    }

    void withoutiTunesTheHomePageSaysSo() {
        writeScript(m_script, R"({"GetiTunesVersion": {"result": ""},
                                  "CheckiTunes": {"callbacks": [{"state": 6, "record": {"failCount": 0}}]}})");
        apptest::LogCapture log;
        FixiTunes window;
        QTRY_VERIFY_WITH_TIMEOUT(window.findChild<CFixiTunesHome*>(), 15000);
        QCOMPARE(window.findChild<CFixiTunesHome*>()->findChild<QLabel*>(QStringLiteral("label_version"))->text(),
                 QStringLiteral("No iTunes on Your PC"));
        QVERIFY(log.contains(QStringLiteral("===m_bIsDownloadLastVersion=== true")));
        QVERIFY(log.contains(QStringLiteral("VersionBit============ 32")));
    }

    void pellactStartsAtConstructionWithItsFiveArguments() {
        FixiTunes window;
        const QString pellact = m_folder->program(QStringLiteral("Pellact"));
        QTRY_COMPARE(apptest::startCount(pellact), 1);
        QTRY_COMPARE(apptest::recordedArguments(pellact),
                     QStringList({QCoreApplication::applicationName() + QStringLiteral(".exe"),
                                  QStringLiteral("care@mail.maker.test"), QCoreApplication::applicationFilePath(),
                                  QStringLiteral("feedback@mail.maker.test"), QStringLiteral("quorvel@586")}));
    }

    void feedbackButtonStartsTheFeedbackProgram() {
        FixiTunes window;
        auto* button = window.findChild<ZnStyleButton*>(QStringLiteral("pushButton_Feedback"));
        QTest::mouseClick(button, Qt::LeftButton);
        const QString feedback = m_folder->program(QStringLiteral("Feedback"));
        QTRY_COMPARE(apptest::startCount(feedback), 1);
        QTRY_COMPARE(apptest::recordedArguments(feedback),
                     QStringList({QStringLiteral("care@mail.maker.test"), QCoreApplication::applicationFilePath(),
                                  QStringLiteral("feedback@mail.maker.test"), QStringLiteral("quorvel@586"),
                                  QStringLiteral("1")}));
    }

    // The two single-shot timers of the start: 180 ms to the mail-account
    // download, 220 ms to the silent updater. Their slots are driven by hand.
    void startupTimers() {
        apptest::LogCapture log;
        FixiTunes window;
        auto* mail = window.findChild<QTimer*>(QStringLiteral("timerDownloadEmailConfigFile"));
        auto* update = window.findChild<QTimer*>(QStringLiteral("timerCheckUpdate"));
        QVERIFY(mail && update);
        QCOMPARE(mail->interval(), 180);
        QCOMPARE(update->interval(), 220);
        QVERIFY(mail->isSingleShot() && update->isSingleShot());
        QVERIFY(mail->isActive() && update->isActive());
        mail->stop();
        update->stop();

        QVERIFY(!log.contains(QStringLiteral("slotDownloadEmailConfigFile======startTime")));
        QVERIFY(QMetaObject::invokeMethod(mail, "timeout"));
        QVERIFY(log.contains(
            QStringLiteral("slotDownloadEmailConfigFile======startTime==================================")));

        const QString velkin = m_folder->program(QStringLiteral("Velkin"));
        QCOMPARE(apptest::startCount(velkin), 0);
        QVERIFY(QMetaObject::invokeMethod(update, "timeout"));
        QTRY_COMPARE(apptest::startCount(velkin), 1);
        QTRY_COMPARE(apptest::recordedArguments(velkin), QStringList({QStringLiteral("--silent=true")}));
    }

    void toolsMenuIsBuiltOnceWithItsEntries() {
        FixiTunes window;
        window.move(40, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.SlotToolsMenu();
        auto* menu = menuOf(window);
        QVERIFY(menu);
        QStringList texts;
        for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts, QStringList({"Tutorial", "FAQ", "Write a Product Review", "Contact Support", "-",
                                     "View Facebook Fan Page", "Follow Us on Twitter", "-", "Check for Updates",
                                     "About", "Exit"}));
        const QList<QAction*> first = menu->actions();
        for (QAction* action : first)
            if (!action->isSeparator()) QCOMPARE(action->parent(), &window);
        // Below the tools button: window position + button position + (0, 40).
        // (The offscreen platform adds its 2-px window frame to a new window.)
        auto* tools = window.findChild<ZnStyleButton*>(QStringLiteral("btnTools"));
        auto belowTools = [&]() {
            const QPoint off = menu->pos() - (window.pos() + tools->pos() + QPoint(0, 40));
            return qAbs(off.x()) <= 2 && qAbs(off.y()) <= 2;
        };
        QVERIFY(belowTools());
        menu->hide();

        // Opening it again through its button only moves and shows it again.
        window.move(window.pos() + QPoint(100, 50));
        QTest::mouseClick(tools, Qt::LeftButton);
        QCOMPARE(menu->actions(), first);
        QVERIFY(menu->isVisible());
        QVERIFY(belowTools());
        menu->hide();
    }

    void toolsMenuWebPages_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("address");
        QTest::newRow("tutorial") << "Tutorial"
                                  << "https://www.maker.test/repair-itunes/guide/";
        QTest::newRow("faq") << "FAQ"
                             << "https://www.maker.test/support/technical-faq/";
        QTest::newRow("review") << "Write a Product Review"
                                << "https://www.maker.test/repair-itunes/reviews/";
        QTest::newRow("contact") << "Contact Support"
                                 << "https://www.maker.test/support/contact/";
        QTest::newRow("facebook") << "View Facebook Fan Page"
                                  << "https://facebook.test/maker";
        QTest::newRow("twitter") << "Follow Us on Twitter"
                                 << "https://twitter.test/maker";
    }
    void toolsMenuWebPages() {
        QFETCH(QString, entry);
        QFETCH(QString, address);
        apptest::UrlCatcher urls;
        FixiTunes window;
        window.SlotToolsMenu();
        action(window, entry)->trigger();
        QCOMPARE(urls.urls, QList<QUrl>({QUrl(address)}));
        QCOMPARE(apptest::startCount(m_folder->program(QStringLiteral("Velkin"))), 0);
    }

    void checkForUpdatesStartsTheUpdaterWithTheUpdateAddress() {
        FixiTunes window;
        window.SlotToolsMenu();
        action(window, QStringLiteral("Check for Updates"))->trigger();
        const QString velkin = m_folder->program(QStringLiteral("Velkin"));
        QTRY_COMPARE(apptest::startCount(velkin), 1);
        QTRY_COMPARE(apptest::recordedArguments(velkin),
                     QStringList({QStringLiteral("--updateURL=https://update.maker.test/verinfo?")}));
    }

    void checkUpdateStartsTheUpdaterOnlyWithInfo_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("info");
        QTest::addColumn<int>("starts");
        QTest::newRow("no info") << 0 << QString() << 0;
        QTest::newRow("info") << 1 << QStringLiteral("2.0.1.7") << 1;
    }
    void checkUpdateStartsTheUpdaterOnlyWithInfo() {
        QFETCH(int, type);
        QFETCH(QString, info);
        QFETCH(int, starts);
        apptest::LogCapture log;
        FixiTunes window;
        window.findChild<QTimer*>(QStringLiteral("timerCheckUpdate"))->stop();
        window.SlotCheckUpdate(type, info);
        QVERIFY(log.contains(QStringLiteral("SlotCheckUpdate ---> called")));
        QVERIFY(log.contains(QStringLiteral("type === %1").arg(type)));
        QCOMPARE(log.contains(QStringLiteral("SlotCheckUpdateDialog--->called")), starts == 1);
        if (starts) {
            QTRY_COMPARE(apptest::startCount(m_folder->program(QStringLiteral("Velkin"))), 1);
            QTRY_COMPARE(apptest::recordedArguments(m_folder->program(QStringLiteral("Velkin"))),
                         QStringList({QStringLiteral("--updateURL=https://update.maker.test/verinfo?")}));
        } else {
            QCOMPARE(apptest::startCount(m_folder->program(QStringLiteral("Velkin"))), 0);
        }
    }

    void aboutEntryOpensTheAboutBox() {
        FixiTunes window;
        window.SlotToolsMenu();
        QString seen;
        apptest::onNextModal([&seen](QWidget* modal) {
            if (auto* about = qobject_cast<CAbout*>(modal)) {
                seen = about->findChild<QLabel*>(QStringLiteral("labelVersion"))->text();
                about->reject();
            }
        });
        action(window, QStringLiteral("About"))->trigger();
        QVERIFY(seen.startsWith(QStringLiteral("Version: ")));
        // Each closed box is freed.
        QVERIFY(window.findChildren<CAbout*>().isEmpty());
    }

    // The exit question from the close button and the menu entry: Yes closes
    // the window (and drops the Pellact process object first), No or a box
    // closed otherwise leaves everything as it was.
    void exitConfirmation_data() {
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<int>("answer");  // ZnMessageBoxButton, 0: box closed otherwise
        QTest::addColumn<bool>("closes");
        QTest::newRow("close button, yes") << false << int(ZnMessageBoxButton::Yes) << true;
        QTest::newRow("close button, no") << false << int(ZnMessageBoxButton::No) << false;
        QTest::newRow("close button, dismissed") << false << 0 << false;
        QTest::newRow("menu, yes") << true << int(ZnMessageBoxButton::Yes) << true;
        QTest::newRow("menu, no") << true << int(ZnMessageBoxButton::No) << false;
    }
    void exitConfirmation() {
        QFETCH(bool, fromMenu);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        FixiTunes window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy closing(&window, &FixiTunes::SignalClose);
        QVERIFY(window.findChild<QProcess*>(QStringLiteral("pellactProcess")));

        QString question;
        apptest::onNextModal([&question, answer](QWidget* modal) {
            auto* box = qobject_cast<ZnMessageBox*>(modal);
            if (!box) return;
            question = messageBoxText(box);
            if (answer == ZnMessageBoxButton::Yes)
                box->slotClose_yes();
            else if (answer == ZnMessageBoxButton::No)
                box->slotClose_no();
            else
                box->reject();
        });
        if (fromMenu) {
            window.SlotToolsMenu();
            action(window, QStringLiteral("Exit"))->trigger();
        } else {
            QTest::mouseClick(window.findChild<ZnStyleButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
        }
        QVERIFY2(question.contains(QStringLiteral("Are you sure that you want to exit the program?")),
                 qPrintable(question));
        QCOMPARE(window.isVisible(), !closes);
        QCOMPARE(closing.count(), closes ? 1 : 0);
        QCOMPARE(window.findChild<QProcess*>(QStringLiteral("pellactProcess")) == nullptr, closes);
    }

    void componentInformationAddress_data() {
        QTest::addColumn<QByteArray>("xml");  // empty: no file
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("parseError");
        const QByteArray entry3 =
            "<iTunesUrl><a>iTunesComponentInformationUrl</a><b>https://c.test/one</b><c>x</c></iTunesUrl>";
        QTest::newRow("three children") << ("<r><iTunesVersion>" + entry3 + "</iTunesVersion></r>")
                                        << "https://c.test/one" << false;
        QTest::newRow("five children are not this entry")
            << QByteArray(
                   "<r><iTunesVersion><iTunesUrl><a>iTunesComponentInformationUrl</a><b>https://c.test/five</b>"
                   "<c/><d/><e/></iTunesUrl></iTunesVersion></r>")
            << QString() << false;
        QTest::newRow("later entry wins")
            << ("<r><iTunesVersion>" + entry3 +
                "<iTunesUrl><a>iTunesComponentInformationUrl</a><b>https://c.test/two</b><c/></iTunesUrl>"
                "</iTunesVersion></r>")
            << "https://c.test/two" << false;
        QTest::newRow("other marker") << QByteArray(
                                             "<r><iTunesVersion><iTunesUrl><a>12.7</a><b>https://c.test/v</b><c/>"
                                             "</iTunesUrl></iTunesVersion></r>")
                                      << QString() << false;
        QTest::newRow("tag case differs")
            << ("<r><itunesversion>" + entry3 + "</itunesversion></r>") << QString() << false;
        QTest::newRow("malformed") << QByteArray("<r><iTunesVersion>") << QString() << true;
        QTest::newRow("nested too deep") << ("<r><iTunesVersion>" + entry3 + "</iTunesVersion>" +
                                             QByteArray("<d>").repeated(65) + QByteArray("</d>").repeated(65) + "</r>")
                                         << QString() << true;
        QTest::newRow("no file") << QByteArray() << QString() << false;
    }
    void componentInformationAddress() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, address);
        QFETCH(bool, parseError);
        const QString path = m_folder->path() + QStringLiteral("/iTunesDownloadUrl.xml");
        QFile::remove(path);
        if (!xml.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(xml);
        }
        apptest::LogCapture log;
        FixiTunes window;
        window.SlotReadiTunesComponentInformationUrlPrefix();
        QCOMPARE(window.ComponentInformationUrl(), address);
        QCOMPARE(log.contains(QStringLiteral("errorStr======")), parseError);
        QCOMPARE(log.contains(QStringLiteral("errorLine=====")), parseError);
        QFile::remove(path);
    }

    // Only the first process named exactly "iTunes" (ascending pid) ends.
    void closeiTunesEndsOnlyTheFirst() {
        const QString fake = m_folder->path() + QStringLiteral("/iTunes");
        QFile::remove(fake);
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), fake));
        QProcess a, b;
        a.start(fake, {QStringLiteral("60")});
        QVERIFY(a.waitForStarted());
        b.start(fake, {QStringLiteral("60")});
        QVERIFY(b.waitForStarted());
        QProcess& lower = a.processId() < b.processId() ? a : b;
        QProcess& higher = a.processId() < b.processId() ? b : a;

        apptest::LogCapture log;
        FixiTunes window;
        window.CloseiTunesSoftware();
        QVERIFY(log.contains(
            QStringLiteral("CloseiTunesSoftware==========================================================")));
        QVERIFY(lower.waitForFinished(10000));
        QCOMPARE(higher.state(), QProcess::Running);
        higher.kill();
        higher.waitForFinished();
    }

    // Without the engine library the window starts nothing and says why.
    void missingEngineStartsNothing() {
        apptest::AppFolder empty(false);
        platform::setApplicationDir(empty.path());
        CController* loaded = g_pController;
        g_pController = nullptr;
        {
            FixiTunes window;
            QVERIFY(!window.IsEngineLoaded());
            QVERIFY(!window.findChild<QTimer*>(QStringLiteral("timerDownloadEmailConfigFile")));
            QVERIFY(!window.findChild<QTimer*>(QStringLiteral("timerCheckUpdate")));
            QVERIFY(!window.findChild<CFixiTunesHome*>());
            QString text;
            apptest::onNextModal([&text](QWidget* modal) {
                if (auto* box = qobject_cast<ZnMessageBox*>(modal)) {
                    text = messageBoxText(box);
                    box->slotClose_ok();
                }
            });
            window.ShowEngineLoadError();
            QVERIFY2(text.contains(QStringLiteral("repair engine")), qPrintable(text));
        }
        QCOMPARE(apptest::startCount(empty.program(QStringLiteral("Pellact"))), 0);
        delete g_pController;
        g_pController = loaded;
        platform::setApplicationDir(m_folder->path());
    }

    // A callback after the window is gone finds no window, and the stop flags
    // the engine was given stay readable and are set.
    void lateCallbackFindsNoWindow() {
        auto window = std::make_unique<FixiTunes>();
        void* context = window->EngineContext();
        {
            CEngineCallbackScope scope(context);
            QCOMPARE(scope.Window(), window.get());
        }
        auto* flags = static_cast<SEngineContext*>(context);
        QVERIFY(!flags->bStopScan && !flags->bStopClean && !flags->bStopUninstall);
        window.reset();
        QVERIFY(flags->bStopScan && flags->bStopClean && flags->bStopUninstall);
        CEngineCallbackScope scope(context);
        QCOMPARE(scope.Window(), nullptr);
        QCOMPARE(FixiTunes::GetInstance(), nullptr);
        // Something that is not a window's context is not taken for one.
        int other = 0;
        CEngineCallbackScope stranger(&other);
        QCOMPARE(stranger.Window(), nullptr);
    }

    // The real engine: a scan waits for its stop flag; destroying the window
    // stops it, and the scan's final callback finds no window.
    void runningScanEndsQuietlyWhenTheWindowGoes() {
        writeScript(m_script, R"({"ScaniTunesUserData": {"result": true,
                                   "callbacks": [{"state": 4, "waitStop": true, "waitStopTimeout": 20000}]}})");
        g_callbacks = 0;
        g_callbacksWithWindow = 0;
        auto window = std::make_unique<FixiTunes>();
        void* context = window->EngineContext();
        bool* stop = &static_cast<SEngineContext*>(context)->bStopScan;
        QVERIFY(g_pController->ScaniTunesUserData(&recordingCallback, context, false, stop));
        QCOMPARE(g_callbacks.load(), 0);
        window.reset();
        QTRY_COMPARE_WITH_TIMEOUT(g_callbacks.load(), 1, 15000);
        QCOMPARE(g_callbacksWithWindow.load(), 0);
    }

private:
    static QMenu* menuOf(FixiTunes& window) {
        // The menu has no parent: find it among the top-level widgets.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(w))
                if (!menu->actions().isEmpty() && menu->actions().first()->parent() == &window) return menu;
        return nullptr;
    }
    static QAction* action(FixiTunes& window, const QString& text) {
        QMenu* menu = menuOf(window);
        if (!menu) return nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

    QTemporaryDir m_base;
    std::unique_ptr<apptest::AppFolder> m_folder;
    QString m_script;
};

QTEST_MAIN(TestMainWindow)
#include "tst_app_mainwindow.moc"
