// Views of the main window in the middle of its flows: the detection at start,
// its result, a repair from guide to result, a reinstall under way, a scan of
// the demo tree, and the ends of a clean and an uninstall. The engine is the
// build's stand-in; where a view needs a particular course it is scripted.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include "repair/AdvancedRepairGuide.h"
#include "app/FixiTunes.h"
#include "app/FixiTunesHome.h"
#include "repair/ScanResultException.h"
#include "clean/ScaniTunesData.h"
#include "Showcase.h"

namespace {

// Runs the event loop until `done` holds (or a few seconds have passed).
void settle(const std::function<bool()>& done, int timeoutMs = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

template <class Page>
bool shows(FixiTunes* window) {
    Page* page = window->findChild<Page*>();
    return page && page->isVisible();
}

// A main window whose engine follows `script` (empty: the demo tree beside the
// engine library). The configuration servers are not reachable here: the
// program reads the table shipped beside it.
FixiTunes* mainWindow(const QByteArray& script = QByteArray()) {
    static QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/engine-script.json");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(script.isEmpty() ? QByteArray("{}") : script);
    file.close();
    qputenv("SORVEL_SCRIPT", path.toLocal8Bit());
    qputenv("CORVANE_PRODUCT_INFO_SERVER", "http://127.0.0.1:1");
    qputenv("CORVANE_CONFIG_SERVER", "http://127.0.0.1:1");
    return new FixiTunes;
}

// The check at start finds everything intact, after a while.
const char* const kIntact = R"("GetiTunesVersion": {"result": "12.10.11.2"}, "GetiTunesVersionBit": {"result": 1},
    "CheckiTunes": {"callbacks": [{"state": 2, "record": {"product": 1}}, {"state": 6, "record": {"failCount": 0}}]})";

FixiTunes* atHome(const QByteArray& operations = QByteArray()) {
    FixiTunes* window = mainWindow("{" + QByteArray(kIntact) + (operations.isEmpty() ? "" : ",") + operations + "}");
    settle([window]() { return shows<CFixiTunesHome>(window); });
    return window;
}

}  // namespace

ZN_SHOWCASE_VIEW("flows/detecting") {
    // The check is half way: three components reported, the rest to come.
    return mainWindow(R"({"GetiTunesVersion": {"result": "12.10.11.2"}, "GetiTunesVersionBit": {"result": 1},
        "CheckiTunes": {"callbacks": [{"state": 2, "record": {"product": 1}}, {"state": 2, "record": {"product": 2}},
                                      {"state": 2, "record": {"product": 3}},
                                      {"state": 6, "delay": 60000, "record": {"failCount": 0}}]}})");
}

ZN_SHOWCASE_VIEW("flows/detection-result") {
    // The demo tree's installation has two damaged components.
    FixiTunes* window = mainWindow();
    settle([window]() { return shows<CScanResultException>(window); });
    return window;
}

ZN_SHOWCASE_VIEW("flows/home") { return atHome(); }

ZN_SHOWCASE_VIEW("flows/guide-repair") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_RepairBackupRestore);
    return window;
}

ZN_SHOWCASE_VIEW("flows/guide-uninstall") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_FullUninstall);
    return window;
}

ZN_SHOWCASE_VIEW("flows/uninstalling") {
    // The uninstall has reached the user data and deletes it file by file.
    FixiTunes* window = atHome(R"("OneKeyUninstall": {"callbacks": [
        {"state": 1, "record": {"strProductName": "iTunes"}}, {"state": 4, "record": {}},
        {"state": 5, "record": {"strPath": "C:/Users/Anna/Music/iTunes/iTunes Media/Music/Track 01.m4a"}},
        {"state": 6, "waitStop": true, "waitStopTimeout": 60000, "record": {"bSuccess": 1}}]})");
    window->SlotAdvancedRepairGuide(kFixScene_FullUninstall);
    window->SlotCompletelyUninstalliTunesDeleteUserDataView();
    settle([]() { return false; }, 1500);
    return window;
}

ZN_SHOWCASE_VIEW("flows/repair-result") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_RepairDetection);
    window->SlotCompleteRepairSuccess(kFixStatus_RepairDetectionSuccess);
    return window;
}

ZN_SHOWCASE_VIEW("flows/repair-failed-driver") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_RepairOther);
    window->SlotCompleteRepairFailed(kFixStatus_RepairFailedDriverIncomplete);
    return window;
}

ZN_SHOWCASE_VIEW("flows/scan-result") {
    // A quick scan of the demo tree's user data, finished.
    FixiTunes* window = mainWindow(R"({"CheckiTunes": {"callbacks": [{"state": 6, "record": {"failCount": 0}}]}})");
    settle([window]() { return shows<CFixiTunesHome>(window); });
    window->SlotAdvancedRepairGuide(kFixScene_QuickClean);
    window->SlotScaniTunesUserData();
    settle([window]() {
        auto* page = window->findChild<CScaniTunesData*>();
        auto* clean = page ? page->findChild<QWidget*>(QStringLiteral("pushButton_Clean")) : nullptr;
        return clean && clean->isEnabled();
    });
    return window;
}

ZN_SHOWCASE_VIEW("flows/clean-result") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_DeepClean);
    window->SlotCleaniTunesUserDataSuccess(5 * 1024 * 1024 + 300 * 1024);
    return window;
}

ZN_SHOWCASE_VIEW("flows/uninstall-result") {
    FixiTunes* window = atHome();
    window->SlotAdvancedRepairGuide(kFixScene_FullUninstall);
    window->SlotCompletelyUninstallSuccess();
    return window;
}
