// The repair pages in typical views, each in the main window's page area.
#include <QTimer>
#include <QWidget>

#include "repair/AdvancedRepairGuide.h"
#include "repair/CheckiTunesExceptionProcess.h"
#include "repair/ComponentDamageListShow.h"
#include "repair/FixiTunesFinished.h"
#include "repair/FixiTunesProcess.h"
#include "PageArea.h"
#include "repair/ScanResultException.h"
#include "Showcase.h"

namespace {

// The area's white background is set for the page and all its children.
QWidget* inPageArea(QWidget* page) {
    return showcase::inPageArea(page, QStringLiteral("background-color: rgb(255, 255, 255);"));
}

QWidget* guide(int scene) {
    auto* page = new CAdvancedRepairGuide;
    page->SetFixScene(scene);
    return inPageArea(page);
}

QWidget* result(int code) {
    auto* page = new CFixiTunesFinished;
    page->SetFixStatus(code);
    return inPageArea(page);
}

ST_ITUNES_CHECK_RESULT component(int product, int status, const wchar_t* version,
                                 std::vector<std::wstring> damaged = {}) {
    ST_ITUNES_CHECK_RESULT r;
    r.product = product;
    r.status = status;
    r.strVersion = version;
    r.vecDamageFile = std::move(damaged);
    return r;
}

}  // namespace

ZN_SHOWCASE_VIEW("repair/guide-quick-clean") { return guide(kFixScene_QuickClean); }
ZN_SHOWCASE_VIEW("repair/guide-uninstall") { return guide(kFixScene_FullUninstall); }
ZN_SHOWCASE_VIEW("repair/guide-install-update") { return guide(kFixScene_RepairInstallUpdate); }

ZN_SHOWCASE_VIEW("repair/detection-40") {
    auto* page = new CCheckiTunesExceptionProcess;
    page->InitCheckExceptionView();
    page->SlotUpdateProgressBar(40);
    // Held at 40 for the picture: the pacing would move on while it is taken.
    if (auto* pacing = page->findChild<QTimer*>(QStringLiteral("checkPacingTimer"))) pacing->stop();
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("repair/result-fixed") { return result(kFixStatus_FixSuccess); }
ZN_SHOWCASE_VIEW("repair/result-connect-repaired") { return result(kFixStatus_RepairDetectionSuccess); }
ZN_SHOWCASE_VIEW("repair/result-uninstall-failed") { return result(kFixStatus_UninstallFailedUnknown); }

ZN_SHOWCASE_VIEW("repair/progress-download") {
    auto* page = new CFixiTunesProcess;
    page->InitDownloadDriverView();
    page->SlotDownloadiTunesProcess(87LL * 1024 * 1024, 212LL * 1024 * 1024);
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("repair/detection-result") {
    auto* page = new CScanResultException;
    page->LoadComponentData({
        component(kItunesProductType_iTunes, kCheckItunesProductState_Item_Success, L"12.10.11.2"),
        component(kItunesProductType_AppleSoftwareUpdate, kCheckItunesProductState_Item_Success, L"2.6.3.1"),
        component(kItunesProductType_AppleMobileDeviceSupport, kCheckItunesProductState_Item_Fail_Bad, L"14.5.0.7",
                  {L"C:\\Program Files\\Common Files\\Apple\\Mobile Device Support\\AppleMobileDeviceService.exe"}),
        component(kItunesProductType_Bonjour, kCheckItunesProductState_Item_Fail_Miss, L"3.1.0.1"),
        component(kItunesProductType_AppleApplicationSupport, kCheckItunesProductState_Item_Success, L"8.7"),
        component(kItunesProductType_AppleApplicationSupport64, kCheckItunesProductState_Item_Success, L"8.7"),
    });
    return inPageArea(page);
}

ZN_SHOWCASE_VIEW("repair/damaged-files") {
    auto* dialog = new CComponentDamageListShow;
    std::vector<std::wstring> files;
    for (const wchar_t* name :
         {L"AppleMobileDeviceService.exe", L"MobileDevice.dll", L"usbaaplrc.dll", L"AirTrafficHost.dll",
          L"iTunesMobileDevice.dll", L"CoreFoundation.dll", L"libdispatch.dll", L"ASL.dll"})
        files.push_back(std::wstring(L"C:\\Program Files\\Common Files\\Apple\\Mobile Device Support\\") + name);
    dialog->SetComponentDamageList({component(kItunesProductType_AppleMobileDeviceSupport,
                                              kCheckItunesProductState_Item_Fail_Bad, L"14.5.0.7", files)},
                                   kItunesProductType_AppleMobileDeviceSupport);
    dialog->setFixedSize(401, 198);
    return dialog;
}
