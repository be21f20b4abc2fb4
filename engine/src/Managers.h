#pragma once
// The engine's two managers.
#include <map>
#include <string>
#include <vector>

#include "Script.h"
#include "SorvelInterface.h"
#include "Tree.h"
#include "Worker.h"

namespace sorvel {

class FixItunesMgr final : public IFixItunesMgr {
public:
    void Reserved() override;
    std::wstring GetiTunesVersion() override;
    int GetiTunesVersionBit() override;
    int OpeniTunes() override;
    bool CheckiTunes(ItunesEngineCallback callback, void* context, int reserved) override;
    bool RepairiTunes(std::wstring installerDir, ItunesEngineCallback callback, void* context) override;
    bool RepairiTunesDamageComponent(ItunesEngineCallback callback, void* context) override;
    bool OneKeyUninstall(ItunesEngineCallback callback, void* context, bool deleteUserData, bool* stop) override;
    bool OneKeyInstall(std::wstring installerDir, ItunesEngineCallback callback, void* context) override;

private:
    Worker m_worker;
    CallCounter m_calls;
};

class ItunesUserDataMgr final : public IItunesUserDataMgr {
public:
    bool ScaniTunesUserData(ItunesEngineCallback callback, void* context, bool deepScan, bool* stop) override;
    bool CleaniTuensUserData(ItunesEngineCallback callback, void* context, std::vector<int>* subTypes,
                             std::vector<int>* backupIds, bool* stop) override;

private:
    void scan(const fs::path& root, ItunesEngineCallback callback, void* context, bool deep, const bool* stop);
    void clean(const fs::path& root, ItunesEngineCallback callback, void* context, const std::vector<int>& subTypes,
               const std::vector<int>& backupIds, const bool* stop);
    void setScanCount(int current, int total);

    Worker m_worker;
    CallCounter m_calls;
    // Handed out with every item: lives as long as the manager.
    ST_ITUNES_SCAN_COUNT m_scanCount;
    // The backups of the last scan by id (touched only on the worker thread).
    std::map<int, fs::path> m_backupFolders;
};

}  // namespace sorvel
