#pragma once
// The interface between Corvane and the repair engine "Sorvel": the two manager
// interfaces the engine's factories hand out, the callback through which the
// engine reports progress and results, the records it reports them in and the
// enumerations inside those records.
//
// This header is shared by the program and the engine library, so it holds
// nothing but standard C++: no Qt.
//
// Records are plain structures written by the engine and read by the program.
// A record handed to a callback is valid only during that call; whatever must
// outlive it is copied. Flags are one byte each (a value other than 0 and 1 can
// be carried and is read as the readers say: "only the value 1 counts" where so
// documented). Fields the program does not read are kept so that the field
// order stays that of the engine; an engine may leave them zero or empty.
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Enumerations (all int-sized)
// ---------------------------------------------------------------------------

// The Apple component a check or repair record is about.
enum eItunesProductType : int {
    kItunesProductType_iTunes = 1,
    kItunesProductType_AppleSoftwareUpdate = 2,
    kItunesProductType_AppleMobileDeviceSupport = 3,
    kItunesProductType_Bonjour = 4,
    kItunesProductType_AppleApplicationSupport = 5,
    kItunesProductType_AppleApplicationSupport64 = 6,
};

// State of the CheckiTunes callback. The enumerator names are also the texts the
// check callback logs.
enum eCheckItunesProductState : int {
    kCheckItunesProductState_Null = 0,
    kCheckItunesProductState_Item_Checking = 1,
    kCheckItunesProductState_Item_Success = 2,
    kCheckItunesProductState_Item_Success_NotSure = 3,
    kCheckItunesProductState_Item_Fail_Miss = 4,
    kCheckItunesProductState_Item_Fail_Bad = 5,
    kCheckItunesProductState_All_Check_Complete = 6,
};

// Category of a user-data item.
enum eItunesUserDataType : int {
    kItunesUserDataType_Media = 1,        // iTunes media files
    kItunesUserDataType_iOSBackup = 2,    // iOS backups
    kItunesUserDataType_UpdateFiles = 3,  // software update files
    kItunesUserDataType_OtherData = 4,    // other data
};

// Subtype of a user-data item, and the element of a clean request.
enum eItunesUserDataSubType : int {
    // category 1: iTunes media files
    kItunesUserDataSubType_Music = 1,
    kItunesUserDataSubType_Movies = 2,
    kItunesUserDataSubType_HomeVideos = 3,
    kItunesUserDataSubType_TVShows = 4,
    kItunesUserDataSubType_Podcasts = 5,
    kItunesUserDataSubType_Audiobooks = 6,
    kItunesUserDataSubType_iTunesU = 7,
    kItunesUserDataSubType_VoiceMemo = 8,
    kItunesUserDataSubType_Books = 9,
    kItunesUserDataSubType_Tones = 10,
    kItunesUserDataSubType_Downloads = 11,
    // category 2: one iOS backup per item (a clean request names backups by id)
    kItunesUserDataSubType_iOSBackup = 12,
    // category 3: software update files
    kItunesUserDataSubType_iTunesUpdateFiles = 13,
    kItunesUserDataSubType_iOSUpdateFiles = 14,
    // category 4: other data
    kItunesUserDataSubType_MobileApps = 15,
    kItunesUserDataSubType_Cache = 16,
    kItunesUserDataSubType_Cookies = 17,
    kItunesUserDataSubType_Logs = 18,
    kItunesUserDataSubType_OtherJunkFiles = 19,
};

// States of the ScaniTunesUserData callback.
enum eEnumItunesUserDataState : int {
    kEnumItunesUserDataState_Enum_Item = 2,  // one item found (record: the item)
    kEnumItunesUserDataState_Enum_End = 4,   // enumeration finished
};

// States of the CleaniTuensUserData callback.
enum eDeleteItunesUserDataState : int {
    kDeleteItunesUserDataState_Deleting = 1,        // progress (done, total)
    kDeleteItunesUserDataState_DeleteComplete = 2,  // deletion finished
};

// States of the RepairiTunes and RepairiTunesDamageComponent callbacks.
enum eRepairItunesState : int {
    kRepairItunesState_Repairing = 1,  // product now being repaired
    kRepairItunesState_Finished = 4,   // finished (success, error)
};

// States of the OneKeyUninstall callback (2 and 3 carry nothing the program reads).
enum eUninstallItunesState : int {
    kUninstallItunesState_Uninstalling = 1,  // product name now being uninstalled
    kUninstallItunesState_Step = 4,          // progress step without text
    kUninstallItunesState_Deleting = 5,      // path now being deleted
    kUninstallItunesState_Finished = 6,      // finished (success, error, occupied files)
};

// States of the OneKeyInstall callback.
enum eInstallItunesState : int {
    kInstallItunesState_Installing = 1,  // installer now being installed
    kInstallItunesState_Finished = 4,    // finished (success, error)
};

// Engine error codes carried by the result records. Any other value is a
// failure without a known cause.
enum eItunesEngineError : int {
    kItunesEngineError_FileOccupied = -2,     // files in use: the record lists them
    kItunesEngineError_ServiceOccupied = -3,  // services in use
};

// The display name of an eItunesProductType: "unknown" for any other value.
// Never null; the text is constant and lives for the process.
inline const wchar_t* GetiTunesProductName(int product) {
    switch (product) {
    case kItunesProductType_iTunes: return L"iTunes";
    case kItunesProductType_AppleSoftwareUpdate: return L"Apple Software Update";
    case kItunesProductType_AppleMobileDeviceSupport: return L"Apple Mobile Device Support";
    case kItunesProductType_Bonjour: return L"Bonjour";
    case kItunesProductType_AppleApplicationSupport: return L"Apple Application Support";
    case kItunesProductType_AppleApplicationSupport64: return L"Apple Application Support64";
    default: return L"unknown";
    }
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

// One record of the product check (CheckiTunes callback, every state).
struct ST_ITUNES_CHECK_RESULT {
    int product = 0;                          // eItunesProductType
    std::wstring strName;                     // display name; empty: GetiTunesProductName(product)
    std::wstring strVersion;                  // the component's version text
    std::wstring strReserved1;                // not read by the program
    int status = 0;                           // eCheckItunesProductState of the component
    std::vector<std::wstring> vecDamageFile;  // full paths of its missing or damaged files
    int failCount = 0;                        // state 6: number of failed components
    std::uint8_t bNeedDownload = 0;           // state 6: repairing needs the iTunes installer
    int nReserved2 = 0;                       // not read by the program
    int nReserved3 = 0;                       // not read by the program
    std::wstring strReserved4;                // not read by the program
};

// Result of the RepairiTunes and RepairiTunesDamageComponent callbacks.
struct ST_REPAIR_ITUNES_RESULT {
    int product = 0;            // state 1: eItunesProductType now being repaired
    int nReserved1 = 0;         // not read by the program
    std::uint8_t bSuccess = 0;  // state 4: the repair succeeded
    std::wstring strReserved2;  // not read by the program
    int nErrorCode = 0;         // state 4 when not successful: eItunesEngineError or other
};

// Result of the OneKeyUninstall callback.
struct ST_UNINSTALL_ITUNES_RESULT {
    int nReserved1 = 0;                         // not read by the program
    std::wstring strProductName;                // state 1: component now being uninstalled
    std::wstring strPath;                       // state 5: file or folder now being deleted
    std::uint8_t bSuccess = 0;                  // state 6: 1 = uninstalled (only 1 counts)
    std::wstring strReserved2;                  // not read by the program
    int nErrorCode = 0;                         // state 6 when not successful
    std::vector<std::wstring> vecOccupiedFile;  // state 6 with error -2: files in use
};

// Result of the OneKeyInstall callback.
struct ST_INSTALL_ITUNES_RESULT {
    std::wstring strInstallerPath;  // the package now being installed
    std::uint8_t bSuccess = 0;      // state 4: installed
    int nErrorCode = 0;             // state 4 when not successful
};

// Result of the CleaniTuensUserData callback.
struct ST_DELETE_ITUNES_USERDATA_RESULT {
    std::int64_t llDoneSize = 0;                // bytes cleaned so far
    std::int64_t llTotalSize = 0;               // bytes to clean in all
    std::uint8_t bSucess = 0;                   // state 2: the deletion succeeded
    std::vector<std::wstring> vecOccupiedFile;  // state 2 when not successful: files not deleted
};

// The engine's live scan counters, kept current during a deep scan. The engine
// owns the record and keeps it alive for the life of its user-data manager.
struct ST_ITUNES_SCAN_COUNT {
    int nReserved = 0;               // not read by the program
    int nCurrentScanDirCount = 0;    // folders scanned so far
    int nDeepScanTotalDirCount = 0;  // folders to scan
};

// The iOS-backup part of a user-data item (category 2 only).
struct ST_ITUNES_BACKUP_INFO {
    int id = 0;                    // backup id: the value of the clean request's backup-id list
    std::wstring strReserved1;     // not read by the program
    std::wstring strReserved2;     // not read by the program
    std::wstring strName;          // device name; empty: shown as "Unknown"
    std::wstring strReserved3;     // not read by the program
    std::wstring strTime;          // backup time, ISO 8601: date "T" time "Z"
    std::int64_t dirSize = 0;      // bytes of this backup
    std::int64_t llReserved4 = 0;  // not read by the program
    std::uint8_t isVaild = 0;      // the backup is usable; invalid backups are not kept
};

// One scanned user-data item (ScaniTunesUserData callback, state 2). Copies are
// memberwise: the strings are copied deeply, the counter pointer as a pointer.
struct ST_ITUNES_USERDATA_ITEM {
    int type = 0;                                // eItunesUserDataType
    int subType = 0;                             // eItunesUserDataSubType (categories 1, 3, 4)
    std::int64_t size = 0;                       // categories 1, 3, 4: bytes of this subtype;
                                                 // category 2: bytes of all iOS backups
    std::int64_t llReserved1 = 0;                // not read by the program
    std::int64_t categorySize = 0;               // categories 1, 3, 4: bytes of the whole category
    int nReserved2 = 0;                          // not read by the program
    ST_ITUNES_SCAN_COUNT* pScanCount = nullptr;  // engine-owned live scan counters
    ST_ITUNES_BACKUP_INFO stBackupInfo;          // category 2 only
};

// ---------------------------------------------------------------------------
// Callback and manager interfaces
// ---------------------------------------------------------------------------

// The one callback of every long operation: the caller's context, the state
// code and a pointer to the operation's record (valid during the call only).
// The engine calls it from its own threads.
extern "C" {
typedef void (*ItunesEngineCallback)(void* context, int state, void* result);
}

// The engine's repair manager. Created by the engine's factory
// CreateFixItuensMgr; lives for the process and is never released.
class IFixItunesMgr {
public:
    // Slot 0: a placeholder of the engine; never called by the program.
    virtual void Reserved() = 0;
    // Installed iTunes version; empty when none is installed.
    virtual std::wstring GetiTunesVersion() = 0;
    // 1 when the installed iTunes is 64-bit.
    virtual int GetiTunesVersionBit() = 0;
    // Starts iTunes; the result is passed through to the caller.
    virtual int OpeniTunes() = 0;
    // Starts the product check. `reserved` is always 0.
    virtual bool CheckiTunes(ItunesEngineCallback callback, void* context, int reserved) = 0;
    // Starts a repair from the unpacked installer folder.
    virtual bool RepairiTunes(std::wstring installerDir, ItunesEngineCallback callback, void* context) = 0;
    // Starts a repair of the damaged components without an installer.
    virtual bool RepairiTunesDamageComponent(ItunesEngineCallback callback, void* context) = 0;
    // Starts the uninstall; `stop` (may be null) is read while it works.
    virtual bool OneKeyUninstall(ItunesEngineCallback callback, void* context, bool deleteUserData, bool* stop) = 0;
    // Starts the install from the unpacked installer folder.
    virtual bool OneKeyInstall(std::wstring installerDir, ItunesEngineCallback callback, void* context) = 0;

protected:
    ~IFixItunesMgr() = default;
};

// The engine's user-data manager. Created by the engine's factory
// CreateItunesUserDataMgr; lives for the process and is never released.
class IItunesUserDataMgr {
public:
    // Starts the scan of the user data; `stop` is read while it works.
    virtual bool ScaniTunesUserData(ItunesEngineCallback callback, void* context, bool deepScan, bool* stop) = 0;
    // Starts the deletion of the chosen subtypes and iOS backups (by id); the
    // engine copies both lists before it returns. `stop` is read while it works.
    virtual bool CleaniTuensUserData(ItunesEngineCallback callback, void* context, std::vector<int>* subTypes,
                                     std::vector<int>* backupIds, bool* stop) = 0;

protected:
    ~IItunesUserDataMgr() = default;
};

// The engine library's two exported factories (names spelled as the engine
// exports them).
extern "C" {
typedef IFixItunesMgr* (*PFN_CreateFixItuensMgr)();
typedef IItunesUserDataMgr* (*PFN_CreateItunesUserDataMgr)();
}
