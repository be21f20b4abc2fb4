#pragma once
// Enumerations shared by the main window, the repair pages and the cleaning
// pages. All are int-sized and carried as plain ints in signals where the
// receivers say so.

// The task chosen on the home page; also the scene of the repair guide.
// Values 3 to 6 equal the repair-success codes 3 to 6 of enumFixStatus.
enum enumFixScene : int {
    kFixScene_QuickClean = 0,
    kFixScene_DeepClean = 1,
    kFixScene_FullUninstall = 2,
    kFixScene_RepairDetection = 3,
    kFixScene_RepairInstallUpdate = 4,
    kFixScene_RepairBackupRestore = 5,
    kFixScene_RepairOther = 6,
};

// The one status code of every finished repair, uninstall or cleaning
// operation: 0 to 16 choose a view of the repair result page, 17 and 18 a view
// of the cleaning result page.
enum enumFixStatus : int {
    kFixStatus_FixSuccess = 0,
    kFixStatus_UninstallSuccess = 1,
    kFixStatus_UninstallDeleteDataSuccess = 2,
    kFixStatus_RepairDetectionSuccess = 3,
    kFixStatus_RepairInstallUpdateSuccess = 4,
    kFixStatus_RepairBackupRestoreSuccess = 5,
    kFixStatus_RepairOtherSuccess = 6,
    kFixStatus_FixFailedUnknown = 7,
    kFixStatus_FixFailedFileOccupied = 8,
    kFixStatus_FixFailedDriverIncomplete = 9,
    kFixStatus_RepairFailedUnknown = 10,
    kFixStatus_RepairFailedFileOccupied = 11,
    kFixStatus_RepairFailedDriverIncomplete = 12,
    kFixStatus_ServiceOccupied = 13,
    kFixStatus_UninstallFailedUnknown = 14,
    kFixStatus_UninstallFailedFileOccupied = 15,
    kFixStatus_DeleteDataFailedFileOccupied = 16,
    kFixStatus_CleanFailed = 17,
    kFixStatus_CleanFileOccupied = 18,
};

// Step code of the reinstall and uninstall progress.
enum enumUpdateDataStep : int {
    kUpdateDataStep_UninstallComponent = 0,
    kUpdateDataStep_DeleteUserData = 1,
    kUpdateDataStep_InstalliTunes = 2,
    kUpdateDataStep_InstallComponent = 3,
    kUpdateDataStep_Done = 4,
};

// Tag of a main-program download.
enum DOWNLOADTYPE : int {
    kDownloadType_EmailConfig = 1,
    kDownloadType_iTunesSetupUrlConfig = 2,
    kDownloadType_ComponentInformation = 3,
    kDownloadType_iTunesSetup = 4,
};
