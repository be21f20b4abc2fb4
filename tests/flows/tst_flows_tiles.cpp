// The seven home tiles from the home page to their result views, and the
// component repair from the detection result: the whole main window in this
// process, the engine scripted for success and for every failure code the
// flows send (engine script -> status shown), stop requests included. The
// installer is already on disk with the right SHA-1 in the installer table;
// it is unpacked with the real 7z.
#include <QCheckBox>
#include <QtTest>

#include "repair/AdvancedRepairGuide.h"
#include "repair/CheckiTunesExceptionProcess.h"
#include "clean/CleaniTunesUserData.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "repair/ComponentDamageListShow.h"
#include "app/FixiTunesHome.h"
#include "repair/FixiTunesProcess.h"
#include "FlowsTestSupport.h"
#include "repair/ScanResultException.h"
#include "clean/ScaniTunesData.h"
#include "toolkit/ZnStyleButtonWidget.h"

using namespace flowtest;

namespace {

// Scan results of a quick or deep scan: media, software update and other data,
// one usable and one unusable iOS backup.
const char* const kScanItems = R"([
    {"state": 2, "record": {"type": 1, "subType": 1, "size": 3000000, "categorySize": 3000000}},
    {"state": 2, "record": {"type": 3, "subType": 13, "size": 2000000, "categorySize": 2000000}},
    {"state": 2, "record": {"type": 4, "subType": 16, "size": 1000000, "categorySize": 1000000}},
    {"state": 2, "record": {"type": 2, "subType": 12, "size": 500000,
                            "stBackupInfo": {"id": 1, "strName": "Anna iPhone", "strTime": "2019-05-02T10:00:00Z",
                                             "dirSize": 500000, "isVaild": 1}}},
    {"state": 2, "record": {"type": 2, "subType": 12, "size": 700000,
                            "stBackupInfo": {"id": 2, "strName": "Broken", "dirSize": 200000, "isVaild": 0}}},
    {"state": 4, "record": null}])";

}  // namespace

class TestFlowTiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_base;
    DemoInstaller m_installer;
    std::unique_ptr<FlowEnv> m_env;
    std::unique_ptr<FixiTunes> m_window;
    std::unique_ptr<StatusRecorder> m_status;

    // The window, started and at home, with the installer on disk.
    void startAtHome(const QByteArray& operations) {
        m_env->setScript(engineScript(operations));
        m_window = std::make_unique<FixiTunes>();
        m_status = std::make_unique<StatusRecorder>(*m_window);
        showAtHome(*m_window);
    }

    // A tile of the home page, then the guide it leads to.
    CAdvancedRepairGuide* chooseTile(int scene) {
        auto* guide = clickTile(*m_window, scene);
        if (guide && guide->GetFixScene() != scene) return nullptr;
        return guide;
    }

    void expectRepairView(int fixStatus, int timeoutMs = 30000) {
        auto* page = waitForPage<CFixiTunesFinished>(*m_window, timeoutMs);
        QVERIFY2(page, qPrintable(pageName(currentPage(*m_window)) + " / " + m_status->codes.join(", ")));
        QCOMPARE(viewText(page), referenceView(fixStatus));
    }

private slots:
    void initTestCase() { prepareInstaller(m_base, m_installer); }
    void init() { openLocalEnv(m_env, m_installer); }

    void cleanup() {
        m_status.reset();
        m_window.reset();
        m_env.reset();
    }

    // Tiles 3 to 6: the complete repair (uninstall keeping the data, install
    // from the unpacked installer).
    void repairTiles_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<QByteArray>("operations");
        QTest::addColumn<int>("fixStatus");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("occupied");  // a file the result lists

        const QByteArray uninstalled = R"("OneKeyUninstall": {"callbacks": [
            {"state": 1, "record": {"strProductName": "iTunes"}}, {"state": 6, "record": {"bSuccess": 1}}]})";
        const QByteArray installed = R"("OneKeyInstall": {"callbacks": [
            {"state": 1, "record": {"strInstallerPath": "/x/iTunes64.msi"}}, {"state": 4, "record": {"bSuccess": 1}}]})";
        auto ops = [](const QByteArray& a, const QByteArray& b) { return "{" + a + "," + b + "}"; };
        auto uninstallEnds = [](const QByteArray& record) {
            return R"("OneKeyUninstall": {"callbacks": [{"state": 6, "record": )" + record + "}]}";
        };
        auto installEnds = [](const QByteArray& record) {
            return R"("OneKeyInstall": {"callbacks": [{"state": 4, "record": )" + record + "}]}";
        };

        for (int scene = 3; scene <= 6; ++scene)
            QTest::addRow("scene %d repaired", scene)
                << scene << ops(uninstalled, installed) << scene
                << QStringLiteral("CompleteRepairSuccess %1").arg(scene) << QString();
        QTest::newRow("uninstall refused") << 3 << ops(R"("OneKeyUninstall": {"result": false})", installed) << 10
                                           << "CompleteRepairFailed 10" << QString();
        QTest::newRow("uninstall: services in use")
            << 4 << ops(uninstallEnds(R"({"bSuccess": 0, "nErrorCode": -3})"), installed) << 13
            << "CompleteRepairFailed 13" << QString();
        QTest::newRow("uninstall: files in use")
            << 5
            << ops(uninstallEnds(R"({"bSuccess": 0, "nErrorCode": -2, "vecOccupiedFile": ["C:/iTunes/iTunes.dll"]})"),
                   installed)
            << 11 << "CompleteRepairFailed 11"
            << "iTunes.dll";
        QTest::newRow("uninstall failed") << 6 << ops(uninstallEnds(R"({"bSuccess": 0, "nErrorCode": -1})"), installed)
                                          << 10 << "CompleteRepairFailed 10" << QString();
        QTest::newRow("install refused") << 3 << ops(uninstalled, R"("OneKeyInstall": {"result": false})") << 10
                                         << "CompleteRepairFailed 10" << QString();
        QTest::newRow("install: services in use")
            << 3 << ops(uninstalled, installEnds(R"({"bSuccess": 0, "nErrorCode": -3})")) << 13
            << "CompleteRepairFailed 13" << QString();
        QTest::newRow("install failed") << 3 << ops(uninstalled, installEnds(R"({"bSuccess": 0, "nErrorCode": 5})"))
                                        << 10 << "CompleteRepairFailed 10" << QString();
    }
    void repairTiles() {
        QFETCH(int, scene);
        QFETCH(QByteArray, operations);
        QFETCH(int, fixStatus);
        QFETCH(QString, sent);
        QFETCH(QString, occupied);
        startAtHome(operations);
        CAdvancedRepairGuide* guide = chooseTile(scene);
        QVERIFY(guide);
        click(guide, "pushButton_repair");
        QVERIFY(currentPageAs<CFixiTunesProcess>(*m_window));

        expectRepairView(fixStatus);
        // The window's own slot and the recorder get the result through queued
        // calls of one emission; the page can show before the recorder's turn.
        QTRY_COMPARE(m_status->codes, QStringList{sent});
        if (!occupied.isEmpty())
            QVERIFY(currentPage(*m_window)->findChild<QLabel*>(QStringLiteral("labelList"))->text().contains(occupied));

        // The installer on disk was used: nothing downloaded, the engine got the
        // unpacked folder.
        const QString folder = m_env->appDir() + QStringLiteral("/iTunesSetup");
        QVERIFY(QFileInfo(folder + QStringLiteral("/iTunes64.msi/COMPONENT")).isFile());
        QCOMPARE(readFile(m_env->appDir() + QStringLiteral("/iTunesSetup.exe")), readFile(m_installer.path));
        const QString log = m_env->callLog();
        QVERIFY(log.contains(QStringLiteral("OneKeyUninstall callback=")));
        QVERIFY(log.contains(QStringLiteral("deleteUserData=false stop=null")));
        if (!operations.contains(R"("OneKeyUninstall": {"result": false})") && !operations.contains("nErrorCode\": -"))
            QVERIFY2(log.contains(QStringLiteral("OneKeyInstall installerDir=\"%1\"").arg(folder)), qPrintable(log));
    }

    // The failed complete repair offers Try Again: the same road once more.
    void failedRepairTriesAgain() {
        startAtHome(R"({"OneKeyUninstall": {"result": false}})");
        click(chooseTile(kFixScene_RepairOther), "pushButton_repair");
        expectRepairView(kFixStatus_RepairFailedUnknown);
        click(currentPage(*m_window), "pushButton_TryAgain");
        expectRepairView(kFixStatus_RepairFailedUnknown);
        QCOMPARE(m_env->calls().count(QStringLiteral("OneKeyUninstall")), 2);
        click(currentPage(*m_window), "pushButton_OK");
        QVERIFY(currentPageAs<CFixiTunesHome>(*m_window));
    }

    // Tile 2: the complete uninstall, with or without the user data.
    void uninstallTile_data() {
        QTest::addColumn<bool>("deleteUserData");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QByteArray>("operations");
        QTest::addColumn<int>("fixStatus");
        QTest::addColumn<QString>("occupied");

        auto run = [](const QByteArray& last) {
            return R"({"OneKeyUninstall": {"callbacks": [
                {"state": 1, "record": {"strProductName": "iTunes"}},
                {"state": 4, "record": {}},
                {"state": 5, "record": {"strPath": "C:/Users/u/Music/iTunes/a.m4a"}},
                {"state": 5, "record": {"strPath": "C:/Users/u/Music/iTunes/b.m4a"}},
                {"state": 6, "record": )" +
                   last + "}]}}";
        };
        // Waits for the stop request (the test presses Stop).
        auto stopped = [](const QByteArray& last) {
            return R"({"OneKeyUninstall": {"callbacks": [
                {"state": 1, "record": {"strProductName": "iTunes"}},
                {"state": 5, "record": {"strPath": "C:/Users/u/Music/iTunes/a.m4a"}},
                {"state": 5, "waitStop": true, "waitStopTimeout": 20000, "record": {"strPath": "C:/u/b.m4a"}},
                {"state": 6, "record": )" +
                   last + "}]}}";
        };
        QTest::newRow("uninstalled") << false << false << run(R"({"bSuccess": 1})") << 1 << QString();
        QTest::newRow("uninstalled with the data") << true << false << run(R"({"bSuccess": 1})") << 2 << QString();
        QTest::newRow("refused") << true << false << QByteArray(R"({"OneKeyUninstall": {"result": false}})") << 14
                                 << QString();
        QTest::newRow("failed") << false << false << run(R"({"bSuccess": 0, "nErrorCode": -1})") << 14 << QString();
        QTest::newRow("a success byte other than 1") << false << false << run(R"({"bSuccess": 2})") << 14 << QString();
        QTest::newRow("files in use") << true << false
                                      << run(R"({"bSuccess": 0, "nErrorCode": -2, "vecOccupiedFile": ["C:/u/b.m4a"]})")
                                      << 15 << "b.m4a";
        // A stop can only come once iTunes is gone and its data is being
        // deleted: the uninstall's success, without the data-removed text.
        QTest::newRow("deletion stopped")
            << true << true << stopped(R"({"bSuccess": 0, "nErrorCode": -1})") << 1 << QString();
        QTest::newRow("deletion stopped, files in use")
            << true << true << stopped(R"({"bSuccess": 0, "nErrorCode": -2, "vecOccupiedFile": ["C:/u/a.m4a"]})") << 15
            << "a.m4a";
        // The data was not all removed, whatever the engine's end says.
        QTest::newRow("deletion stopped, engine says done")
            << true << true << stopped(R"({"bSuccess": 1})") << 1 << QString();
    }
    void uninstallTile() {
        QFETCH(bool, deleteUserData);
        QFETCH(bool, stop);
        QFETCH(QByteArray, operations);
        QFETCH(int, fixStatus);
        QFETCH(QString, occupied);
        startAtHome(operations);
        int deletionViews = 0;
        connect(m_window.get(), &FixiTunes::SignalCompletelyUninstallDeleteUserDataInit, this,
                [&deletionViews]() { ++deletionViews; });
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_FullUninstall);
        QVERIFY(guide);
        if (deleteUserData) guide->findChild<QCheckBox*>(QStringLiteral("checkBox_deleteUserData"))->click();
        QCOMPARE(guide->IsDeleteUserData(), deleteUserData);
        click(guide, "pushButton_uninstall");

        if (stop) {
            auto* progress = currentPageAs<CFixiTunesProcess>(*m_window);
            QVERIFY(progress);
            auto* stopButton = progress->findChild<QAbstractButton*>(QStringLiteral("pushButton_Stop"));
            QTRY_VERIFY_WITH_TIMEOUT(stopButton->isVisible(), 10000);
            QString question;
            answerNextBox(ZnMessageBoxButton::Yes, &question);
            stopButton->click();
            QVERIFY2(question.contains(QStringLiteral("Are you sure you want to stop?")), qPrintable(question));
        }
        expectRepairView(fixStatus);
        if (!occupied.isEmpty())
            QVERIFY(currentPage(*m_window)->findChild<QLabel*>(QStringLiteral("labelList"))->text().contains(occupied));
        QVERIFY(m_env->callLog().contains(QStringLiteral("deleteUserData=%1").arg(deleteUserData ? "true" : "false")));
        // The deletion view comes once, before the first deletion.
        if (!operations.contains("\"result\": false")) QCOMPARE(deletionViews, 1);
    }

    // Tiles 0 and 1: scan, choose, clean.
    void cleanTiles_data() {
        QTest::addColumn<int>("scene");
        QTest::addColumn<QByteArray>("operations");
        QTest::addColumn<QString>("action");  // "", "stop scan", "stop clean"
        QTest::addColumn<QString>("title");   // the cleaning result view; empty: home
        QTest::addColumn<QString>("size");

        auto scan = [](const char* extra = "") {
            return QByteArray(R"("ScaniTunesUserData": {"callbacks": )") + kScanItems + "}" + extra;
        };
        auto cleanEnds = [](const QByteArray& record) {
            return R"("CleaniTuensUserData": {"callbacks": [
                {"state": 1, "record": {"llDoneSize": 1000000, "llTotalSize": 6500000}},
                {"state": 2, "record": )" +
                   record + "}]}";
        };
        const QByteArray cleaned = cleanEnds(R"({"llDoneSize": 6500000, "llTotalSize": 6500000, "bSucess": 1})");
        QTest::newRow("quick clean") << 0 << "{" + scan() + "," + cleaned + "}" << QString() << "Successfully Cleaned!"
                                     << "6MB";
        QTest::newRow("deep clean") << 1 << "{" + scan() + "," + cleaned + "}" << QString() << "Successfully Cleaned!"
                                    << "6MB";
        QTest::newRow("scan refused") << 0 << QByteArray(R"({"ScaniTunesUserData": {"result": false}})") << QString()
                                      << "Cleaned Failed." << QString();
        QTest::newRow("clean refused") << 1 << "{" + scan() + R"(, "CleaniTuensUserData": {"result": false}})"
                                       << QString() << "Cleaned Failed." << QString();
        QTest::newRow("clean failed")
            << 0
            << "{" + scan() + "," + cleanEnds(R"({"llDoneSize": 1000000, "llTotalSize": 6500000, "bSucess": 0})") + "}"
            << QString() << "Cleaned Failed." << QString();
        QTest::newRow("files in use") << 0
                                      << "{" + scan() + "," +
                                             cleanEnds(R"({"llDoneSize": 4000000, "llTotalSize": 6500000, "bSucess": 0,
                                 "vecOccupiedFile": ["C:/Users/u/Music/iTunes/song.m4a"]})") +
                                             "}"
                                      << QString() << "Cleanup Completed."
                                      << "3MB";
        QTest::newRow("scan stopped") << 1 << QByteArray(R"({"ScaniTunesUserData": {"callbacks": [
                   {"state": 2, "record": {"type": 1, "subType": 1, "size": 3000000, "categorySize": 3000000}},
                   {"state": 4, "waitStop": true, "waitStopTimeout": 20000, "record": null}]}})")
                                      << "stop scan" << QString() << QString();
        // Stopped: home, even though the engine's end says it was done.
        QTest::newRow("clean stopped") << 0 << "{" + scan() + R"(, "CleaniTuensUserData": {"callbacks": [
                   {"state": 1, "record": {"llDoneSize": 1000000, "llTotalSize": 6500000}},
                   {"state": 2, "waitStop": true, "waitStopTimeout": 20000,
                    "record": {"llDoneSize": 6500000, "llTotalSize": 6500000, "bSucess": 1}}]}})"
                                       << "stop clean" << QString() << QString();
    }
    void cleanTiles() {
        QFETCH(int, scene);
        QFETCH(QByteArray, operations);
        QFETCH(QString, action);
        QFETCH(QString, title);
        QFETCH(QString, size);
        startAtHome(operations);
        CAdvancedRepairGuide* guide = chooseTile(scene);
        QVERIFY(guide);
        click(guide, scene == 0 ? "pushButton_quickScan" : "pushButton_deepScan");

        if (action == QLatin1String("stop scan")) {
            auto* page = currentPageAs<CScaniTunesData>(*m_window);
            QVERIFY(page);
            answerNextBox(ZnMessageBoxButton::Yes);
            click(page, "pushButton_stop");
            QVERIFY(waitForPage<CFixiTunesHome>(*m_window, 20000));
            QVERIFY(!m_env->calls().contains(QStringLiteral("CleaniTuensUserData")));
            return;
        }
        if (!operations.contains("\"ScaniTunesUserData\": {\"result\": false}")) {
            auto* page = currentPageAs<CScaniTunesData>(*m_window);
            QVERIFY(page);
            auto* clean = page->findChild<QAbstractButton*>(QStringLiteral("pushButton_Clean"));
            QTRY_VERIFY_WITH_TIMEOUT(clean->isEnabled(), 10000);
            clean->click();
            // Everything found is offered and asked for; the unusable backup is not.
            QVERIFY2(m_env->callLog().contains(QStringLiteral("subTypes=[1,13,16] backupIds=[1]")),
                     qPrintable(m_env->callLog()));
            QVERIFY2(m_env->callLog().contains(QStringLiteral("deepScan=%1").arg(scene == 1 ? "true" : "false")),
                     qPrintable(m_env->callLog()));
        }
        if (action == QLatin1String("stop clean")) {
            auto* page = currentPageAs<CCleaniTunesUserData>(*m_window);
            QVERIFY(page);
            answerNextBox(ZnMessageBoxButton::Yes);
            click(page, "pushButton_stop");
            QVERIFY(waitForPage<CFixiTunesHome>(*m_window, 20000));
            QCOMPARE(m_status->codes, QStringList());
            return;
        }

        auto* result = waitForPage<CCleaniTunesUserDataFinished>(*m_window);
        QVERIFY2(result, qPrintable(pageName(currentPage(*m_window))));
        QCOMPARE(result->findChild<QLabel*>(QStringLiteral("label_title"))->text(), title);
        if (!size.isEmpty()) QCOMPARE(result->findChild<QLabel*>(QStringLiteral("label_size"))->text(), size);

        if (title == QLatin1String("Cleaned Failed.")) {
            // Try Again goes back to the guide of the same task.
            click(result, "pushButton_TryAgain");
            auto* again = waitForPage<CAdvancedRepairGuide>(*m_window, 5000);
            QVERIFY(again);
            QCOMPARE(int(again->GetFixScene()), scene);
            QVERIFY(!m_window->findChild<CScaniTunesData*>());
        } else if (title == QLatin1String("Cleanup Completed.")) {
            // The files in use are listed on request.
            QString listed;
            apptest::onNextModal([&listed](QWidget* modal) {
                if (auto* dialog = qobject_cast<CComponentDamageListShow*>(modal)) {
                    for (QLabel* label : dialog->findChildren<QLabel*>()) listed += label->text() + QLatin1Char('\n');
                    QCOMPARE(dialog->size(), QSize(401, 198));
                    dialog->reject();
                }
            });
            click(result, "pushButton_fileOccupied");
            QVERIFY2(listed.contains(QStringLiteral("song.m4a")), qPrintable(listed));
            QVERIFY(listed.contains(QStringLiteral("have not been cleaned because they are occupied")));
        }
        if (title != QLatin1String("Cleaned Failed.")) {
            click(result, "pushButton_OK");
            QVERIFY(currentPageAs<CFixiTunesHome>(*m_window));
        }
    }

    // Try Again after a failed clean leads through the guide to a new scan
    // without passing the home page: the new scan offers only what it found.
    void tryAgainScansAfresh() {
        // One script per round (the engine reads its script at each call).
        const QByteArray first = QByteArray(R"({"ScaniTunesUserData": {"callbacks": )") + kScanItems + R"(},
            "CleaniTuensUserData": {"callbacks": [
                {"state": 2, "record": {"llDoneSize": 0, "llTotalSize": 6500000, "bSucess": 0}}]}})";
        const QByteArray second = R"({"ScaniTunesUserData": {"callbacks": [
                {"state": 2, "record": {"type": 4, "subType": 16, "size": 1000000, "categorySize": 1000000}},
                {"state": 4, "record": null}]},
            "CleaniTuensUserData": {"callbacks": [
                {"state": 2, "record": {"llDoneSize": 1000000, "llTotalSize": 1000000, "bSucess": 1}}]}})";
        startAtHome(first);
        CAdvancedRepairGuide* guide = chooseTile(0);
        QVERIFY(guide);
        for (int round = 0; round < 2; ++round) {
            scanQuicklyAndClean(*m_window, guide);
            auto* result = waitForPage<CCleaniTunesUserDataFinished>(*m_window);
            QVERIFY(result);
            if (round == 0) {
                QCOMPARE(result->findChild<QLabel*>(QStringLiteral("label_title"))->text(),
                         QStringLiteral("Cleaned Failed."));
                click(result, "pushButton_TryAgain");
                guide = waitForPage<CAdvancedRepairGuide>(*m_window, 5000);
                QVERIFY(guide);
                m_env->setScript(engineScript(second));
            }
        }
        const QStringList cleans =
            m_env->callLog().split(QLatin1Char('\n')).filter(QStringLiteral("CleaniTuensUserData"));
        QCOMPARE(cleans.size(), 2);
        QVERIFY2(cleans.at(0).contains(QStringLiteral("subTypes=[1,13,16] backupIds=[1]")), qPrintable(cleans.at(0)));
        QVERIFY2(cleans.at(1).contains(QStringLiteral("subTypes=[16] backupIds=[]")), qPrintable(cleans.at(1)));
    }

    // The component repair from the detection result, with and without the
    // installer.
    void componentRepair_data() {
        QTest::addColumn<bool>("needInstaller");
        QTest::addColumn<QByteArray>("repair");
        QTest::addColumn<int>("fixStatus");

        auto ends = [](const QByteArray& record) {
            return R"({"callbacks": [{"state": 1, "record": {"product": 4}}, {"state": 4, "record": )" + record + "}]}";
        };
        QTest::newRow("repaired") << false << ends(R"({"bSuccess": 1})") << 0;
        QTest::newRow("refused") << false << QByteArray(R"({"result": false})") << 7;
        QTest::newRow("services in use") << false << ends(R"({"bSuccess": 0, "nErrorCode": -3})") << 13;
        QTest::newRow("failed") << false << ends(R"({"bSuccess": 0, "nErrorCode": -1})") << 7;
        QTest::newRow("with the installer, repaired") << true << ends(R"({"bSuccess": 1})") << 0;
        QTest::newRow("with the installer, refused") << true << QByteArray(R"({"result": false})") << 7;
        QTest::newRow("with the installer, services in use")
            << true << ends(R"({"bSuccess": 0, "nErrorCode": -3})") << 13;
    }
    void componentRepair() {
        QFETCH(bool, needInstaller);
        QFETCH(QByteArray, repair);
        QFETCH(int, fixStatus);
        const QByteArray check = QByteArray(R"("CheckiTunes": {"callbacks": [
            {"state": 2, "record": {"product": 1, "strVersion": "12.10.11.2"}},
            {"state": 5, "record": {"product": 4, "status": 5, "vecDamageFile": ["C:/Bonjour/mDNSResponder.exe"]}},
            {"state": 6, "record": {"failCount": 1, "bNeedDownload": )") +
                                 (needInstaller ? "1" : "0") + "}}]}";
        const QByteArray operation = needInstaller ? "RepairiTunes" : "RepairiTunesDamageComponent";
        m_env->setScript(engineScript("{" + check + ", \"" + operation + "\": " + repair + "}"));
        m_window = std::make_unique<FixiTunes>();
        m_status = std::make_unique<StatusRecorder>(*m_window);
        QList<int> progress;
        connect(m_window.get(), &FixiTunes::SignalCheckiTunesExceptionProcess, this,
                [&progress](int value) { progress << value; });
        m_window->show();

        auto* result = waitForPage<CScanResultException>(*m_window);
        QVERIFY2(result, qPrintable(pageName(currentPage(*m_window))));
        // 64-bit: 16 per reported component; the final state reports none.
        QCOMPARE(progress, (QList<int>{16, 32}));
        click(result, "pushButton_Fix");
        expectRepairView(fixStatus);
        QTRY_COMPARE(
            m_status->codes,
            QStringList{QStringLiteral("%1 %2").arg(fixStatus == 0 ? "FixSuccess" : "FixFailed").arg(fixStatus)});
        const QString log = m_env->callLog();
        if (needInstaller) {
            QVERIFY2(log.contains(QStringLiteral("RepairiTunes installerDir=\"%1/iTunesSetup\"").arg(m_env->appDir())),
                     qPrintable(log));
            QVERIFY(!log.contains(QStringLiteral("RepairiTunesDamageComponent")));
        } else {
            QVERIFY(log.contains(QStringLiteral("RepairiTunesDamageComponent")));
            QVERIFY(!QFileInfo::exists(m_env->appDir() + QStringLiteral("/iTunesSetup")));
        }
        QVERIFY(!log.contains(QStringLiteral("OneKeyUninstall")));
    }

    // 32-bit: 25 per component.
    void detectionProgressOf32Bit() {
        m_env->setScript(engineScript(R"({"GetiTunesVersionBit": {"result": 0}, "CheckiTunes": {"callbacks": [
            {"state": 1, "record": {"product": 1}}, {"state": 2, "record": {"product": 1}},
            {"state": 4, "record": {"product": 3}}, {"state": 6, "record": {"failCount": 0}}]}})"));
        m_window = std::make_unique<FixiTunes>();
        QList<int> progress;
        connect(m_window.get(), &FixiTunes::SignalCheckiTunesExceptionProcess, this,
                [&progress](int value) { progress << value; });
        m_window->show();
        // A final failure count of 0 empties the list: home, not the detection result.
        QVERIFY(waitForPage<CFixiTunesHome>(*m_window));
        QCOMPARE(progress, (QList<int>{25, 50, 75}));
        QVERIFY(m_window->m_vecCheckResult.isEmpty());
    }

    // Without an installer for the installed iTunes, a repair first asks
    // whether to install the latest iTunes.
    void repairWithoutMatchingInstaller_data() {
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("yes");
        QTest::newRow("other version, declined") << "12.9.0.1" << false;
        QTest::newRow("other version, accepted") << "12.9.0.1" << true;
        QTest::newRow("no iTunes, declined") << "" << false;
        QTest::newRow("no iTunes, accepted") << "" << true;
    }
    void repairWithoutMatchingInstaller() {
        QFETCH(QString, installed);
        QFETCH(bool, yes);
        startAtHome(QStringLiteral(R"({"GetiTunesVersion": {"result": "%1"},
            "OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
            "OneKeyInstall": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]}})")
                        .arg(installed)
                        .toUtf8());
        CAdvancedRepairGuide* guide = chooseTile(kFixScene_RepairDetection);
        QVERIFY(guide);
        QString question;
        answerNextBox(yes ? ZnMessageBoxButton::Yes : ZnMessageBoxButton::No, &question);
        click(guide, "pushButton_repair");
        QVERIFY2(question.contains(QStringLiteral("There is no corresponding repair driver for your iTunes version.")),
                 qPrintable(question));
        if (!yes) {
            QTest::qWait(300);
            QCOMPARE(currentPage(*m_window), static_cast<QWidget*>(guide));
            QVERIFY(!m_window->findChild<CFixiTunesProcess*>());
            QVERIFY(!m_env->calls().contains(QStringLiteral("OneKeyUninstall")));
            return;
        }
        // The latest installer of the table is the one on disk.
        expectRepairView(kFixStatus_RepairDetectionSuccess);
    }
};

QTEST_MAIN(TestFlowTiles)
#include "tst_flows_tiles.moc"
