#pragma once
// CController: the program's one gateway to the repair engine "Sorvel". It loads
// the engine library, obtains the engine's two managers from its factories and
// forwards every engine operation to them. It also keeps the list of user-data
// items the engine reports during a scan: the engine appends from its own
// threads while the cleaning pages read from the GUI thread, so the list is
// only touched under the controller's lock.
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

#include <optional>
#include <vector>

#include "platform/AutoMutex.h"
#include "SorvelInterface.h"

class CController : public QObject {
    Q_OBJECT

public:
    // Loads "Sorvel.dll" from the application folder and creates both engine
    // managers. Whether that worked is told by IsEngineLoaded().
    CController();
    ~CController() override;

    // True when the library and both factories were found and both factories
    // returned a manager. Without an engine every operation below fails safely
    // (false, empty, 0); the program is expected to report it and stop.
    bool IsEngineLoaded() const;
    // Why the engine could not be loaded, in English, for the user; empty when
    // it was loaded.
    QString GetEngineLoadError() const;

    // Installed iTunes version; empty when none is installed.
    QString GetiTunesVersion();
    // 64 when the engine answers 1, else 32.
    int GetiTunesVersionBit();
    // Starts iTunes; the engine's result.
    int OpeniTunes();

    // Long operations: each returns whether the engine started it; results
    // arrive later through `callback` with `context`, on an engine thread.
    bool CheckiTunes(ItunesEngineCallback callback, void* context);
    bool RepairiTunes(const QString& folder, ItunesEngineCallback callback, void* context);
    bool RepairiTunesDamageComponent(ItunesEngineCallback callback, void* context);
    bool OneKeyUninstall(ItunesEngineCallback callback, void* context, bool deleteUserData, bool* stop);
    bool OneKeyInstall(QString folder, ItunesEngineCallback callback, void* context);
    bool ScaniTunesUserData(ItunesEngineCallback callback, void* context, bool deep, bool* stop);
    bool CleaniTuensUserData(ItunesEngineCallback callback, void* context, std::vector<int>* subTypes,
                             std::vector<int>* backupIds, bool* stop);

    // The scanned user-data items. Safe to call from any thread.
    void AddUserDataItem(const ST_ITUNES_USERDATA_ITEM& item);
    // A copy of the item at `index`; empty when `index` is out of range. A copy
    // because the engine may grow the list while the caller reads the item.
    std::optional<ST_ITUNES_USERDATA_ITEM> GetUserDataItem(int index);
    int GetUserDataItemCount();
    void ClearUserDataItems();

private:
    IFixItunesMgr* m_pFixMgr = nullptr;            // engine-owned, never released
    IItunesUserDataMgr* m_pUserDataMgr = nullptr;  // engine-owned, never released
    KSB::CAutoMutex m_lock;
    QVector<ST_ITUNES_USERDATA_ITEM> m_vecUserDataItems;
    QString m_strEngineLoadError;
};

// The one controller of the process, set by the main window when it creates it.
extern CController* g_pController;

Q_DECLARE_METATYPE(ST_ITUNES_USERDATA_ITEM)
