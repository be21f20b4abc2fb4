// The real engine on a demo tree, driven through the main window as a user
// would: a quick clean of one subtype deletes exactly that subtype's files, and
// a full uninstall with the user data removes the installation and the data
// and nothing outside the tree (nor other programs' backups, nor what a link
// inside the data points to); the demo's iTunes is ended before a clean.
#include <QCheckBox>
#include <QtTest>

#include <signal.h>

#include "repair/AdvancedRepairGuide.h"
#include "clean/CheckBoxWidget.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "gateway/Controller.h"
#include "app/FixiTunesHome.h"
#include "repair/FixiTunesProcess.h"
#include "FlowsTestSupport.h"
#include "repair/ScanResultException.h"
#include "clean/ScaniTunesData.h"
#include "clean/SubUserDataCheckBox.h"
#include "toolkit/ZnStyleButtonWidget.h"

using namespace flowtest;

namespace {

// The process whose program is `path` (a zombie has none), or 0.
qint64 runningProgram(const QString& path) {
    const QString wanted = QFileInfo(path).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).symLinkTarget() == wanted) return pid;
    }
    return 0;
}

}  // namespace

class TestFlowDemo : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FlowEnv> m_env;

    bool makeTree(const QStringList& options) {
        QProcess make;
        make.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-tree"),
                   QStringList{QStringLiteral("--force"), m_env->rootPath()} + options);
        return make.waitForFinished(120000) && make.exitCode() == 0;
    }

    static void chooseTile(FixiTunes& window, const char* tile) {
        auto* home = currentPageAs<CFixiTunesHome>(window);
        QVERIFY(home);
        QTest::mouseClick(home->findChild<ZnStyleButtonWidget*>(QLatin1String(tile)), Qt::LeftButton);
        QVERIFY(waitForPage<CAdvancedRepairGuide>(window, 5000));
    }

private slots:
    void init() {
        m_env = std::make_unique<FlowEnv>();
        QVERIFY(m_env->isValid());
        m_env->setScript("{}");  // nothing scripted: the engine works on the tree
    }
    void cleanup() { m_env.reset(); }

    void quickCleanOfOneSubtype() {
        QVERIFY(makeTree({QStringLiteral("--sound")}));
        const QString podcasts = QStringLiteral("User Data/Media/Podcasts/");
        const QStringList before = treeListing(m_env->rootPath());
        QVERIFY(std::any_of(before.begin(), before.end(), [&](const QString& f) { return f.startsWith(podcasts); }));

        FixiTunes window;
        window.show();
        // An intact installation: the check leads home.
        QVERIFY2(waitForPage<CFixiTunesHome>(window), qPrintable(pageName(currentPage(window))));
        chooseTile(window, "widget_CleaniTunesQuickly");
        click(currentPage(window), "pushButton_quickScan");
        auto* scan = currentPageAs<CScaniTunesData>(window);
        QVERIFY(scan);
        auto* clean = scan->findChild<QAbstractButton*>(QStringLiteral("pushButton_Clean"));
        QTRY_VERIFY_WITH_TIMEOUT(clean->isEnabled(), 20000);

        // Everything is offered checked: take it all back, then choose Podcasts.
        scan->findChild<CCheckBoxWidget*>()->findChild<QCheckBox*>()->click();
        std::vector<int> none;
        scan->GetUserDataSubTypeList(none);
        QVERIFY(none.empty());
        CSubUserDataCheckBox* row = nullptr;
        for (CSubUserDataCheckBox* candidate : scan->findChildren<CSubUserDataCheckBox*>())
            if (candidate->GetSubUserDataType() == kItunesUserDataSubType_Podcasts) row = candidate;
        QVERIFY(row);
        row->findChild<QCheckBox*>()->click();
        clean->click();

        auto* result = waitForPage<CCleaniTunesUserDataFinished>(window, 30000);
        QVERIFY2(result, qPrintable(pageName(currentPage(window))));
        QCOMPARE(result->findChild<QLabel*>(QStringLiteral("label_title"))->text(),
                 QStringLiteral("Successfully Cleaned!"));
        QVERIFY(m_env->callLog().contains(QStringLiteral("subTypes=[5] backupIds=[]")));

        QStringList expected;
        for (const QString& file : before)
            if (!file.startsWith(podcasts)) expected << file;
        QCOMPARE(treeListing(m_env->rootPath()), expected);
        QVERIFY(QFileInfo(m_env->rootPath() + QLatin1Char('/') + podcasts).isDir());
    }

    // The demo's iTunes, started as Open iTunes starts it, keeps running until
    // the clean ends it before it deletes anything.
    void cleanEndsTheDemoiTunes() {
        QVERIFY(makeTree(
            {QStringLiteral("--sound"), QStringLiteral("--itunes-program"), QStringLiteral(ZN_ITUNES_STANDIN)}));
        const QString program = m_env->rootPath() + QStringLiteral("/Program Files/iTunes/iTunes");
        FixiTunes window;
        window.show();
        QVERIFY2(waitForPage<CFixiTunesHome>(window), qPrintable(pageName(currentPage(window))));
        QCOMPARE(g_pController->OpeniTunes(), 1);
        qint64 pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT((pid = runningProgram(program)) > 0, 10000);
        QTest::qWait(300);
        QCOMPARE(runningProgram(program), pid);

        chooseTile(window, "widget_CleaniTunesQuickly");
        click(currentPage(window), "pushButton_quickScan");
        auto* scan = currentPageAs<CScaniTunesData>(window);
        QVERIFY(scan);
        auto* clean = scan->findChild<QAbstractButton*>(QStringLiteral("pushButton_Clean"));
        QTRY_VERIFY_WITH_TIMEOUT(clean->isEnabled(), 20000);
        QCOMPARE(runningProgram(program), pid);
        clean->click();
        const bool ended = QTest::qWaitFor([&]() { return runningProgram(program) == 0; }, 10000);
        if (!ended) ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY2(ended, "iTunes still runs after the clean started");
        QVERIFY(waitForPage<CCleaniTunesUserDataFinished>(window, 30000));
    }

    void fullUninstallWithUserData() {
        QVERIFY(makeTree({}));
        // Things that are not iTunes' to remove: a file beside the tree, and a
        // link inside the user data that points to it.
        const QString outside = m_env->workDir() + QStringLiteral("/outside/keep.txt");
        writeFile(outside, "not iTunes data");
        QVERIFY(QFile::link(QFileInfo(outside).path(),
                            m_env->rootPath() + QStringLiteral("/User Data/Media/Music/linked-folder")));
        const QStringList before = treeListing(m_env->rootPath());

        FixiTunes window;
        window.show();
        // The demo installation has damaged components: the detection result first.
        auto* found = waitForPage<CScanResultException>(window);
        QVERIFY2(found, qPrintable(pageName(currentPage(window))));
        answerNextBox(ZnMessageBoxButton::Yes);
        click(found, "pushButton_BackHome");
        QVERIFY(waitForPage<CFixiTunesHome>(window, 5000));

        chooseTile(window, "widget_UninstalliTunesCompletely");
        auto* guide = currentPageAs<CAdvancedRepairGuide>(window);
        guide->findChild<QCheckBox*>(QStringLiteral("checkBox_deleteUserData"))->click();
        click(guide, "pushButton_uninstall");
        QVERIFY(currentPageAs<CFixiTunesProcess>(window));

        auto* result = waitForPage<CFixiTunesFinished>(window, 60000);
        QVERIFY2(result, qPrintable(pageName(currentPage(window))));
        QCOMPARE(viewText(result), referenceView(kFixStatus_UninstallDeleteDataSuccess));

        QStringList expected;
        for (const QString& file : before)
            if (!file.startsWith(QLatin1String("Program Files/")) &&
                !file.startsWith(QLatin1String("Installer Cache/")) && !file.startsWith(QLatin1String("User Data/")))
                expected << file;
        QVERIFY(expected.size() >= 2);  // another program's backup and the in-use list stay
        QCOMPARE(treeListing(m_env->rootPath()), expected);
        QVERIFY(!QFileInfo::exists(m_env->rootPath() + QStringLiteral("/User Data")));
        QCOMPARE(readFile(outside), QByteArray("not iTunes data"));
    }
};

QTEST_MAIN(TestFlowDemo)
#include "tst_flows_demo.moc"
