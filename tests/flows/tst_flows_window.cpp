// What the main window itself sends to its pages and the engine, seen from the
// window: the return home (item list and stop flags), the damaged-file dialog
// of the detection result, the order of the reinstall and uninstall progress
// signals, the cleaning progress, and Open iTunes on a result page. The engine
// is scripted; its signals come from its own thread and are recorded in the
// order the GUI thread receives them, as the pages receive them.
#include <QCheckBox>
#include <QCursor>
#include <QMenu>
#include <QProgressBar>
#include <QTableWidget>
#include <QtTest>

#include "repair/AdvancedRepairGuide.h"
#include "clean/CleaniTunesUserData.h"
#include "repair/ComponentDamageListShow.h"
#include "repair/ComponentStatus.h"
#include "gateway/Controller.h"
#include "app/EngineCallbackScope.h"
#include "app/FixiTunesHome.h"
#include "repair/FixiTunesProcess.h"
#include "FlowsTestSupport.h"
#include "repair/ScanResultException.h"
#include "clean/ScaniTunesData.h"
#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnStyleButtonWidget.h"

using namespace flowtest;

namespace {

// Every progress signal of the reinstall and the uninstall, and the end
// signals after them, as one list in the order of arrival.
class ProgressRecorder : public QObject {
public:
    explicit ProgressRecorder(FixiTunes& window) {
        auto step = [this](const char* flow) {
            return [this, flow](const QString& text, int step) {
                events << QStringLiteral("%1 %2 \"%3\"").arg(QLatin1String(flow)).arg(step).arg(text);
            };
        };
        connect(&window, &FixiTunes::SignalUpdateCompleteRepairData, this, step("repair"));
        connect(&window, &FixiTunes::SignalUpdateCompleteUninstallData, this, step("uninstall"));
        connect(&window, &FixiTunes::SignalCompletelyUninstallDeleteUserDataInit, this,
                [this]() { events << QStringLiteral("deletion view"); });
        connect(&window, &FixiTunes::SignalCompletelyUninstalliTunesSuccess, this,
                [this]() { events << QStringLiteral("uninstalled"); });
        connect(&window, &FixiTunes::SignalCompleteRepairSuccess, this,
                [this](int code) { events << QStringLiteral("repaired %1").arg(code); });
        connect(&window, &FixiTunes::SignalCleaniTunesUserDatProcess, this, [this](qlonglong total, qlonglong done) {
            events << QStringLiteral("clean total %1 done %2").arg(total).arg(done);
        });
    }
    QStringList events;
};

}  // namespace

class TestFlowWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    DemoInstaller m_installer;
    std::unique_ptr<FlowEnv> m_env;
    std::unique_ptr<FixiTunes> m_window;

    void startAtHome(const QByteArray& operations) {
        m_env->setScript(engineScript(operations));
        m_window = std::make_unique<FixiTunes>();
        showAtHome(*m_window);
    }

    CAdvancedRepairGuide* chooseTile(int scene) { return clickTile(*m_window, scene); }

    SEngineContext* flags() const { return static_cast<SEngineContext*>(m_window->EngineContext()); }

private slots:
    void initTestCase() { prepareInstaller(m_base, m_installer); }
    void init() { openLocalEnv(m_env, m_installer); }

    void cleanup() {
        m_window.reset();
        m_env.reset();
    }

    // Home empties the controller's item list and clears both stop flags, from
    // whichever page it is reached (here the guide's Back).
    void goingHomeForgetsTheScanAndTheStops() {
        startAtHome("{}");
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_QuickClean);
        QVERIFY(guide);
        ST_ITUNES_USERDATA_ITEM item;
        item.type = kItunesUserDataType_Media;
        item.subType = kItunesUserDataSubType_Music;
        item.size = 1000;
        g_pController->AddUserDataItem(item);
        g_pController->AddUserDataItem(item);
        StoreEngineFlag(flags()->bStopScan, true);
        StoreEngineFlag(flags()->bStopClean, true);
        StoreEngineFlag(flags()->bStopUninstall, true);
        QCOMPARE(g_pController->GetUserDataItemCount(), 2);

        click(guide, "pushButton_backHome");
        QVERIFY(currentPageAs<CFixiTunesHome>(*m_window));
        QCOMPARE(g_pController->GetUserDataItemCount(), 0);
        QVERIFY(!LoadEngineFlag(flags()->bStopScan));
        QVERIFY(!LoadEngineFlag(flags()->bStopClean));
        // The uninstall's flag is the uninstall's own: cleared when one starts.
        QVERIFY(LoadEngineFlag(flags()->bStopUninstall));
    }

    // The tools menu opens over the home page: no tile stays lit beneath it.
    void toolsMenuClearsTheTilesHover() {
        startAtHome("{}");
        auto* home = currentPageAs<CFixiTunesHome>(*m_window);
        auto* tile = home->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[kFixScene_DeepClean]));
        auto* title = home->findChild<QLabel*>(QStringLiteral("label_deepCleanTitle"));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(tile, &enter);
        title->ensurePolished();
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0x37, 0x7d, 0xff));
        m_window->SlotToolsMenu();
        QCOMPARE(title->palette().color(QPalette::WindowText), QColor(0x48, 0x48, 0x48));
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu*>(top)) top->hide();
    }

    // The damaged-file dialog of a component: at the pointer less (400, 100),
    // 401 x 198, listing that component's files and no other's.
    void damagedFileDialogOfTheDetectionResult() {
        m_env->setScript(engineScript(R"({"CheckiTunes": {"callbacks": [
            {"state": 5, "record": {"product": 4, "status": 5,
                                    "vecDamageFile": ["C:\\Bonjour\\mDNSResponder.exe", "C:/Bonjour/dnssd.dll"]}},
            {"state": 4, "record": {"product": 3, "status": 4,
                                    "vecDamageFile": ["C:\\AMDS\\MobileDevice.dll"]}},
            {"state": 6, "record": {"failCount": 2, "bNeedDownload": 1}}]}})"));
        m_window = std::make_unique<FixiTunes>();
        m_window->move(300, 200);
        m_window->show();
        auto* result = waitForPage<CScanResultException>(*m_window);
        QVERIFY2(result, qPrintable(pageName(currentPage(*m_window))));

        auto* table = result->findChild<QTableWidget*>(QStringLiteral("tableComponentList"));
        QVERIFY(table);
        CComponentStatus* bonjour = nullptr;
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0) && table->item(row, 0)->text().trimmed() == QLatin1String("Bonjour"))
                bonjour = qobject_cast<CComponentStatus*>(table->cellWidget(row, 2));
        QVERIFY(bonjour);
        const QPoint pointer(760, 480);
        QCursor::setPos(pointer);
        QCOMPARE(QCursor::pos(), pointer);

        QPoint position;
        QSize size;
        QString listed;
        apptest::onNextModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<CComponentDamageListShow*>(modal);
            if (!dialog) return;
            position = dialog->pos();
            size = dialog->size();
            listed = dialog->findChild<QLabel*>(QStringLiteral("label_componentList"))->text();
            dialog->reject();
        });
        click(bonjour, "pushButton_Exception");
        QCOMPARE(position, pointer - QPoint(400, 100));
        QCOMPARE(size, QSize(401, 198));
        QVERIFY2(listed.contains(QStringLiteral("mDNSResponder.exe")) && listed.contains(QStringLiteral("dnssd.dll")),
                 qPrintable(listed));
        QVERIFY2(!listed.contains(QStringLiteral("MobileDevice.dll")), qPrintable(listed));
        QVERIFY(m_window->findChildren<CComponentDamageListShow*>().isEmpty());
    }

    // The complete repair: the uninstall's two texts at step 2, then the
    // install's package (a Windows path: its file name only) at step 3, the
    // empty step 4, and the success with the guide's scene.
    void reinstallProgressInOrder() {
        startAtHome(R"({"OneKeyUninstall": {"callbacks": [
                {"state": 1, "record": {"strProductName": "iTunes"}},
                {"state": 2, "record": {}},
                {"state": 6, "record": {"bSuccess": 1}}]},
            "OneKeyInstall": {"callbacks": [
                {"state": 1, "record": {"strInstallerPath": "C:\\Temp\\iTunesSetup\\AppleMobileDeviceSupport64.msi"}},
                {"state": 1, "record": {"strInstallerPath": "C:/Temp/iTunesSetup/iTunes64.msi"}},
                {"state": 4, "record": {"bSuccess": 1}}]}})");
        ProgressRecorder progress(*m_window);
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_RepairInstallUpdate);
        QVERIFY(guide);
        click(guide, "pushButton_repair");
        QVERIFY(waitForPage<CFixiTunesFinished>(*m_window, 30000));
        // The result page comes from the window's own connection, which is
        // queued before the recorder's: the last event may follow it.
        QTRY_COMPARE(progress.events, QStringList({
                                          R"(repair 2 "Installing iTunes ...")",
                                          R"(repair 2 "Installing iTunes ...")",
                                          R"(repair 3 "Installing AppleMobileDeviceSupport64.msi ...")",
                                          R"(repair 3 "Installing iTunes64.msi ...")",
                                          R"(repair 4 "")",
                                          "repaired 4",
                                      }));
    }

    // The complete uninstall with the user data: the deletion view is
    // signalled once, before the first deletion text; a success sends the
    // empty step 4 twice before the success itself.
    void uninstallProgressInOrder_data() {
        QTest::addColumn<QByteArray>("finalRecord");
        QTest::addColumn<QStringList>("ending");
        QTest::newRow("uninstalled") << QByteArray(R"({"bSuccess": 1})")
                                     << QStringList({R"(uninstall 4 "")", R"(uninstall 4 "")", "uninstalled"});
        QTest::newRow("failed") << QByteArray(R"({"bSuccess": 0, "nErrorCode": -1})")
                                << QStringList({R"(uninstall 4 "")"});
    }
    void uninstallProgressInOrder() {
        QFETCH(QByteArray, finalRecord);
        QFETCH(QStringList, ending);
        startAtHome(R"({"OneKeyUninstall": {"callbacks": [
                {"state": 1, "record": {"strProductName": "iTunes"}},
                {"state": 4, "record": {}},
                {"state": 1, "record": {"strProductName": "Bonjour"}},
                {"state": 4, "record": {}},
                {"state": 5, "record": {"strPath": "C:\\Users\\u\\Music\\iTunes\\a.m4a"}},
                {"state": 5, "record": {"strPath": "C:/Users/u/Music/iTunes/b.m4a"}},
                {"state": 6, "record": )" +
                    finalRecord + "}]}}");
        ProgressRecorder progress(*m_window);
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_FullUninstall);
        QVERIFY(guide);
        guide->findChild<QCheckBox*>(QStringLiteral("checkBox_deleteUserData"))->click();
        click(guide, "pushButton_uninstall");
        QVERIFY(waitForPage<CFixiTunesFinished>(*m_window, 30000));
        const QStringList expected = QStringList({
                                         R"(uninstall 0 "Uninstalling iTunes ...")",
                                         R"(uninstall 4 "")",
                                         R"(uninstall 0 "Uninstalling Bonjour ...")",
                                         R"(uninstall 4 "")",
                                         "deletion view",
                                         R"(uninstall 1 "Deleting C:\Users\u\Music\iTunes\a.m4a ...")",
                                         R"(uninstall 1 "Deleting C:/Users/u/Music/iTunes/b.m4a ...")",
                                     }) +
                                     ending;
        QTRY_COMPARE(progress.events, expected);

        // A second run signals the deletion view again, once.
        progress.events.clear();
        click(currentPage(*m_window), "pushButton_OK");
        guide = chooseTile(kFixScene_FullUninstall);
        QVERIFY(guide);
        click(guide, "pushButton_uninstall");
        QVERIFY(waitForPage<CFixiTunesFinished>(*m_window, 30000));
        QTRY_COMPARE(progress.events.size(), expected.size());
        QCOMPARE(progress.events.count(QStringLiteral("deletion view")), 1);
    }

    // The cleaning progress reaches the cleaning page as (total, done): the
    // page shows both sizes and the share done.
    void cleanProgressReachesThePage() {
        startAtHome(R"({"ScaniTunesUserData": {"callbacks": [
                {"state": 2, "record": {"type": 1, "subType": 1, "size": 8388608, "categorySize": 8388608}},
                {"state": 4, "record": null}]},
            "CleaniTuensUserData": {"callbacks": [
                {"state": 1, "record": {"llDoneSize": 2097152, "llTotalSize": 8388608}},
                {"state": 2, "waitStop": true, "waitStopTimeout": 20000,
                 "record": {"llDoneSize": 8388608, "llTotalSize": 8388608, "bSucess": 1}}]}})");
        ProgressRecorder progress(*m_window);
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_QuickClean);
        QVERIFY(guide);
        scanQuicklyAndClean(*m_window, guide);
        auto* page = currentPageAs<CCleaniTunesUserData>(*m_window);
        QVERIFY(page);
        // The page's own connection is queued after the recorder's: wait for the page.
        QTRY_COMPARE_WITH_TIMEOUT(page->findChild<QLabel*>(QStringLiteral("label_totalSize"))->text(),
                                  QStringLiteral("8MB"), 10000);
        QCOMPARE(progress.events, QStringList({"clean total 8388608 done 2097152"}));
        QCOMPARE(page->findChild<QLabel*>(QStringLiteral("label_currentSize"))->text(), QStringLiteral("2MB"));
        auto* bar = page->findChild<ZnScanProgressBar*>(QStringLiteral("widgetProgressBar"));
        QCOMPARE(bar->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(), 25);
        // Let the engine end.
        StoreEngineFlag(flags()->bStopClean, true);
        QVERIFY(waitForPage<CFixiTunesHome>(*m_window, 20000));
    }

    // Open iTunes on a result page asks the engine to start iTunes, once per
    // click, and the page stays.
    void openiTunesReachesTheEngine() {
        startAtHome(R"({"OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
                        "OneKeyInstall": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]},
                        "OpeniTunes": {"result": 1}})");
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_RepairOther);
        QVERIFY(guide);
        click(guide, "pushButton_repair");
        auto* result = waitForPage<CFixiTunesFinished>(*m_window, 30000);
        QVERIFY(result);
        QCOMPARE(viewText(result), referenceView(kFixStatus_RepairOtherSuccess));
        QVERIFY(!m_env->calls().contains(QStringLiteral("OpeniTunes")));
        click(result, "pushButton_OpeniTunes");
        QCOMPARE(m_env->calls().count(QStringLiteral("OpeniTunes")), 1);
        click(result, "pushButton_OpeniTunes");
        QCOMPARE(m_env->calls().count(QStringLiteral("OpeniTunes")), 2);
        QCOMPARE(currentPage(*m_window), static_cast<QWidget*>(result));
    }
};

QTEST_MAIN(TestFlowWindow)
#include "tst_flows_window.moc"
