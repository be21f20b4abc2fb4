// The cleaning pages in typical views: the scan result page while a quick or a
// deep scan runs and after a scan that found data in every category, the
// cleaning progress page and the three cleaning results. A page is shown as
// the main window shows it: inside a white page area of the main window's
// size.
#include <QApplication>
#include <QCheckBox>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include "clean/CleaniTunesUserData.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "gateway/Controller.h"
#include "PageArea.h"
#include "clean/ScaniTunesData.h"
#include "clean/SubUserDataCheckBox.h"
#include "Showcase.h"
#include "toolkit/ZnMessageBox.h"

namespace {

// Only the area itself is white (style sheet and palette); the page keeps its own background.
QWidget* inPageArea(QWidget* page) {
    QWidget* area =
        showcase::inPageArea(page, QStringLiteral("QWidget#widgetMain { background-color: rgb(255, 255, 255); }"));
    area->setAutoFillBackground(true);
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, Qt::white);
    area->setPalette(palette);
    return area;
}

constexpr qint64 kMiB = 1024 * 1024;

// The engine's live counters of the scan shown.
ST_ITUNES_SCAN_COUNT g_scanCount{0, 0, 0};

CController* controller() {
    if (!g_pController) g_pController = new CController;
    g_pController->ClearUserDataItems();
    return g_pController;
}

ST_ITUNES_USERDATA_ITEM item(int type, int subType, qint64 size, qint64 categorySize) {
    ST_ITUNES_USERDATA_ITEM it;
    it.type = type;
    it.subType = subType;
    it.size = size;
    it.categorySize = categorySize;
    it.pScanCount = &g_scanCount;
    return it;
}

ST_ITUNES_USERDATA_ITEM backup(int id, const wchar_t* name, const wchar_t* time, qint64 size, qint64 allBackups) {
    ST_ITUNES_USERDATA_ITEM it = item(kItunesUserDataType_iOSBackup, kItunesUserDataSubType_iOSBackup, allBackups, 0);
    it.stBackupInfo.id = id;
    it.stBackupInfo.strName = name;
    it.stBackupInfo.strTime = time;
    it.stBackupInfo.dirSize = size;
    it.stBackupInfo.isVaild = 1;
    return it;
}

// A scan that finds data in every category; `count` items of it are reported.
void reportScan(int count) {
    const qint64 media = 7200 * kMiB + 830 * kMiB + 412 * kMiB + 96 * kMiB + 1200 * kMiB + 35 * kMiB;
    const qint64 backups = 5300 * kMiB + 2100 * kMiB + 640 * kMiB;
    const qint64 updates = 3100 * kMiB + 270 * kMiB;
    const qint64 other = 180 * kMiB + 74 * kMiB + 3 * kMiB + 12 * kMiB + 58 * kMiB;
    const ST_ITUNES_USERDATA_ITEM all[] = {
        item(kItunesUserDataType_Media, kItunesUserDataSubType_Music, 7200 * kMiB, media),
        item(kItunesUserDataType_Media, kItunesUserDataSubType_Movies, 830 * kMiB, media),
        item(kItunesUserDataType_Media, kItunesUserDataSubType_TVShows, 412 * kMiB, media),
        item(kItunesUserDataType_Media, kItunesUserDataSubType_Podcasts, 96 * kMiB, media),
        backup(3, L"Anna's iPhone", L"2019-05-06T07:08:09Z", 5300 * kMiB, backups),
        item(kItunesUserDataType_Media, kItunesUserDataSubType_Books, 1200 * kMiB, media),
        item(kItunesUserDataType_Media, kItunesUserDataSubType_Tones, 35 * kMiB, media),
        backup(7, L"iPad Pro", L"2020-01-12T18:44:02Z", 2100 * kMiB, backups),
        backup(9, L"", L"2018-11-30T09:15:40Z", 640 * kMiB, backups),
        item(kItunesUserDataType_UpdateFiles, kItunesUserDataSubType_iTunesUpdateFiles, 270 * kMiB, updates),
        item(kItunesUserDataType_UpdateFiles, kItunesUserDataSubType_iOSUpdateFiles, 3100 * kMiB, updates),
        item(kItunesUserDataType_OtherData, kItunesUserDataSubType_MobileApps, 180 * kMiB, other),
        item(kItunesUserDataType_OtherData, kItunesUserDataSubType_Cache, 74 * kMiB, other),
        item(kItunesUserDataType_OtherData, kItunesUserDataSubType_Cookies, 3 * kMiB, other),
        item(kItunesUserDataType_OtherData, kItunesUserDataSubType_Logs, 12 * kMiB, other),
        item(kItunesUserDataType_OtherData, kItunesUserDataSubType_OtherJunkFiles, 58 * kMiB, other),
    };
    CController* c = controller();
    for (int i = 0; i < count && i < int(sizeof(all) / sizeof(all[0])); ++i) c->AddUserDataItem(all[i]);
}

CScaniTunesData* scanPage(int scene, int items, int foldersDone, int foldersTotal) {
    g_scanCount.nCurrentScanDirCount = foldersDone;
    g_scanCount.nDeepScanTotalDirCount = foldersTotal;
    reportScan(items);
    auto* page = new CScaniTunesData;
    page->InitScanView(scene);
    page->SlotLoadiTunesUserData();
    return page;
}

CScaniTunesData* finishedScan(int items) {
    CScaniTunesData* page = scanPage(kFixScene_DeepClean, items, 5000, 5000);
    page->SlotScaniTunesUserDataFinished();
    return page;
}

// The user opens a category as a click on its row does.
CScaniTunesData* openCategory(CScaniTunesData* page, int row) {
    page->findChild<QTableWidget*>(QStringLiteral("tableFirstLevelDirList"))->selectRow(row);
    page->SlotCellClicked(row, 0);
    return page;
}

// Answers the next modal box with Yes as soon as it is open.
void answerYes() {
    QTimer::singleShot(0, [] {
        if (auto* box = qobject_cast<ZnMessageBox*>(QApplication::activeModalWidget())) box->slotClose_yes();
    });
}

}  // namespace

ZN_SHOWCASE_VIEW("clean/scan-deep-running") { return inPageArea(scanPage(kFixScene_DeepClean, 9, 2130, 5000)); }

ZN_SHOWCASE_VIEW("clean/scan-quick-running") { return inPageArea(scanPage(kFixScene_QuickClean, 5, 0, 0)); }

ZN_SHOWCASE_VIEW("clean/scan-cancelling") {
    CScaniTunesData* page = scanPage(kFixScene_DeepClean, 4, 900, 5000);
    QWidget* area = inPageArea(page);
    answerYes();
    page->SlotStopScaniTunesUserData();
    return area;
}

ZN_SHOWCASE_VIEW("clean/scan-finished-media") { return inPageArea(finishedScan(16)); }

ZN_SHOWCASE_VIEW("clean/scan-finished-backups") { return inPageArea(openCategory(finishedScan(16), 1)); }

ZN_SHOWCASE_VIEW("clean/scan-finished-updates") { return inPageArea(openCategory(finishedScan(16), 2)); }

ZN_SHOWCASE_VIEW("clean/scan-finished-other") { return inPageArea(openCategory(finishedScan(16), 3)); }

ZN_SHOWCASE_VIEW("clean/scan-finished-partial") {
    // Music left out of the clean: its category and select-all are partial.
    CScaniTunesData* page = finishedScan(16);
    for (auto* row : page->findChildren<CSubUserDataCheckBox*>()) {
        if (row->GetSubUserDataType() == kItunesUserDataSubType_Music)
            row->findChild<QCheckBox*>(QStringLiteral("checkBox"))->click();
    }
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("clean/scan-finished-empty") { return inPageArea(finishedScan(0)); }

ZN_SHOWCASE_VIEW("clean/progress") {
    auto* page = new CCleaniTunesUserData;
    page->InitCleanView();
    page->SlotCleaniTunesUserDataProcess(1024 * kMiB * 9 + 300 * kMiB, 1024 * kMiB * 4 + 120 * kMiB);
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("clean/progress-cancelling") {
    auto* page = new CCleaniTunesUserData;
    page->InitCleanView();
    page->SlotCleaniTunesUserDataProcess(1024 * kMiB * 9, 1024 * kMiB * 2);
    QWidget* area = inPageArea(page);
    answerYes();
    page->SlotStopCleaniTunesUserData();
    return area;
}

ZN_SHOWCASE_VIEW("clean/result-success") {
    auto* page = new CCleaniTunesUserDataFinished;
    page->InitCleanSuccessView(1024 * kMiB * 23 + 512 * kMiB);
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("clean/result-failed") {
    auto* page = new CCleaniTunesUserDataFinished;
    page->InitCleanFailedView(kFixScene_DeepClean);
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("clean/result-occupied") {
    auto* page = new CCleaniTunesUserDataFinished;
    page->InitCleanFileOccupiedView(1024 * kMiB * 17 + 80 * kMiB);
    return inPageArea(page);
}
