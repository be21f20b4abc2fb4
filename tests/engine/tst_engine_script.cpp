// The engine's script mode (SORVEL_SCRIPT) and call log (SORVEL_CALL_LOG):
// scripted results, callback states and record fields arrive as written, on
// the engine's own thread; a stop cuts a scripted run short to its final
// state; every call is logged with its arguments.
#include "EngineFixture.h"

using namespace enginetest;

namespace {

class EngineScript : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Engine::get().createFixMgr, nullptr);
        char pattern[] = "/tmp/sorvel-script-XXXXXX";
        dir = mkdtemp(pattern);
        scriptPath = dir / "script.json";
        logPath = dir / "calls.log";
        setenv("SORVEL_SCRIPT", scriptPath.c_str(), 1);
        setenv("SORVEL_CALL_LOG", logPath.c_str(), 1);
        setenv("SORVEL_ROOT", (dir / "no-tree").c_str(), 1);
        fix = Engine::get().createFixMgr();
        data = Engine::get().createUserDataMgr();
    }
    void TearDown() override {
        unsetenv("SORVEL_SCRIPT");
        unsetenv("SORVEL_CALL_LOG");
        unsetenv("SORVEL_ROOT");
        fs::remove_all(dir);
    }
    void script(const std::string& json) { writeFile(scriptPath, json); }

    fs::path dir, scriptPath, logPath;
    IFixItunesMgr* fix = nullptr;
    IItunesUserDataMgr* data = nullptr;
};

TEST_F(EngineScript, CheckRecordsArriveAsScripted) {
    script(R"({"CheckiTunes": {"result": true, "callbacks": [
    {"state": 1},
    {"state": 5, "record": {"product": 4, "strName": "Bonjour Service", "strVersion": "3.1",
                            "status": 5, "vecDamageFile": ["C:/a.dll", "C:/b.dll"]}},
    {"state": 2, "delay": 20, "record": {"product": 7}},
    {"state": 6, "record": {"failCount": 1, "bNeedDownload": 1}}]}})");
    using R = Recorder<ST_ITUNES_CHECK_RESULT>;
    R recorder(kCheckItunesProductState_All_Check_Complete);
    ASSERT_TRUE(fix->CheckiTunes(&R::callback, &recorder, 0));
    ASSERT_TRUE(recorder.waitFinal());
    const auto events = recorder.events();
    ASSERT_EQ(recorder.states(), (std::vector<int>{1, 5, 2, 6}));
    EXPECT_EQ(events[1].record.product, 4);
    EXPECT_EQ(events[1].record.strName, L"Bonjour Service");
    EXPECT_EQ(events[1].record.strVersion, L"3.1");
    EXPECT_EQ(events[1].record.status, 5);
    EXPECT_EQ(events[1].record.vecDamageFile, (std::vector<std::wstring>{L"C:/a.dll", L"C:/b.dll"}));
    EXPECT_EQ(events[2].record.product, 7);
    EXPECT_EQ(events[3].record.failCount, 1);
    EXPECT_EQ(events[3].record.bNeedDownload, 1);
    for (const auto& event : events) EXPECT_NE(event.thread, std::this_thread::get_id());
}

TEST_F(EngineScript, RepairUninstallAndInstallRecords) {
    script(R"({
    "RepairiTunes": {"callbacks": [{"state": 1, "record": {"product": 3}},
                                   {"state": 4, "record": {"bSuccess": 0, "nErrorCode": -3}}]},
    "OneKeyUninstall": {"callbacks": [
        {"state": 1, "record": {"strProductName": "iTunes"}},
        {"state": 5, "record": {"strPath": "/u/Music/a.m4a"}},
        {"state": 6, "record": {"bSuccess": 2, "nErrorCode": -2,
                                "vecOccupiedFile": ["/u/x", "/u/y"]}}]},
    "OneKeyInstall": {"callbacks": [
        {"state": 1, "record": {"strInstallerPath": "/s/iTunes64.msi"}},
        {"state": 4, "record": {"bSuccess": 1}}]}})");
    using RR = Recorder<ST_REPAIR_ITUNES_RESULT>;
    RR repair(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunes(L"/s", &RR::callback, &repair));
    ASSERT_TRUE(repair.waitFinal());
    EXPECT_EQ(repair.events()[0].record.product, 3);
    EXPECT_EQ(repair.last().record.bSuccess, 0);
    EXPECT_EQ(repair.last().record.nErrorCode, kItunesEngineError_ServiceOccupied);

    using UR = Recorder<ST_UNINSTALL_ITUNES_RESULT>;
    UR uninstall(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UR::callback, &uninstall, true, nullptr));
    ASSERT_TRUE(uninstall.waitFinal());
    const auto events = uninstall.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].record.strProductName, L"iTunes");
    EXPECT_EQ(events[1].record.strPath, L"/u/Music/a.m4a");
    EXPECT_EQ(events[2].record.bSuccess, 2);  // a flag byte carries any value
    EXPECT_EQ(events[2].record.nErrorCode, kItunesEngineError_FileOccupied);
    EXPECT_EQ(events[2].record.vecOccupiedFile, (std::vector<std::wstring>{L"/u/x", L"/u/y"}));

    using IR = Recorder<ST_INSTALL_ITUNES_RESULT>;
    IR install(kInstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyInstall(L"/s", &IR::callback, &install));
    ASSERT_TRUE(install.waitFinal());
    EXPECT_EQ(install.events()[0].record.strInstallerPath, L"/s/iTunes64.msi");
    EXPECT_EQ(install.last().record.bSuccess, 1);
}

TEST_F(EngineScript, ScanItemsCarryTheLiveCounters) {
    script(R"({"ScaniTunesUserData": {"callbacks": [
    {"state": 2, "record": {"type": 1, "subType": 1, "size": 5000000000, "categorySize": 6000000000,
                            "scanCount": {"current": 3, "total": 10}}},
    {"state": 2, "record": {"type": 2, "subType": 12, "size": 77,
                            "stBackupInfo": {"id": 9, "strName": "Phone",
                                             "strTime": "2024-01-02T03:04:05Z",
                                             "dirSize": 77, "isVaild": 1}}},
    {"state": 2, "record": null},
    {"state": 4}]}})");
    using R = Recorder<ST_ITUNES_USERDATA_ITEM>;
    R recorder(kEnumItunesUserDataState_Enum_End);
    bool stop = false;
    ASSERT_TRUE(data->ScaniTunesUserData(&R::callback, &recorder, true, &stop));
    ASSERT_TRUE(recorder.waitFinal());
    const auto events = recorder.events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].record.size, 5000000000LL);
    EXPECT_EQ(events[0].record.categorySize, 6000000000LL);
    ASSERT_NE(events[0].record.pScanCount, nullptr);
    EXPECT_EQ(events[0].record.pScanCount->nCurrentScanDirCount, 3);
    EXPECT_EQ(events[0].record.pScanCount->nDeepScanTotalDirCount, 10);
    const auto& backup = events[1].record.stBackupInfo;
    EXPECT_EQ(backup.id, 9);
    EXPECT_EQ(backup.strName, L"Phone");
    EXPECT_EQ(backup.strTime, L"2024-01-02T03:04:05Z");
    EXPECT_EQ(backup.dirSize, 77);
    EXPECT_EQ(backup.isVaild, 1);
    EXPECT_FALSE(events[2].hasRecord);  // "record": null
}

TEST_F(EngineScript, EachCallTakesItsOwnEntry) {
    script(R"({"CleaniTuensUserData": [
      {"result": false},
      {"callbacks": [{"state": 2, "record": {"llDoneSize": 10, "llTotalSize": 20, "bSucess": 0,
                                             "vecOccupiedFile": ["/o"]}}]},
      {"callbacks": [{"state": 2, "record": {"bSucess": 1}}]}],
    "GetiTunesVersion": [{"result": ""}, {"result": "12.13.0.9"}],
    "GetiTunesVersionBit": {"result": -1},
    "OpeniTunes": {"result": 42}})");
    using R = Recorder<ST_DELETE_ITUNES_USERDATA_RESULT>;
    std::vector<int> subTypes = {1};
    std::vector<int> ids;
    R refused(kDeleteItunesUserDataState_DeleteComplete);
    EXPECT_FALSE(data->CleaniTuensUserData(&R::callback, &refused, &subTypes, &ids, nullptr));
    for (int expected : {0, 1, 1}) {  // the last entry repeats
        R recorder(kDeleteItunesUserDataState_DeleteComplete);
        ASSERT_TRUE(data->CleaniTuensUserData(&R::callback, &recorder, &subTypes, &ids, nullptr));
        ASSERT_TRUE(recorder.waitFinal());
        EXPECT_EQ(recorder.last().record.bSucess, expected);
        if (!expected) {
            EXPECT_EQ(recorder.last().record.llDoneSize, 10);
            EXPECT_EQ(recorder.last().record.vecOccupiedFile, (std::vector<std::wstring>{L"/o"}));
        }
    }
    EXPECT_TRUE(refused.events().empty());
    EXPECT_EQ(fix->GetiTunesVersion(), L"");
    EXPECT_EQ(fix->GetiTunesVersion(), L"12.13.0.9");
    EXPECT_EQ(fix->GetiTunesVersionBit(), -1);
    EXPECT_EQ(fix->OpeniTunes(), 42);
}

TEST_F(EngineScript, StopCutsARunShortToItsFinalState) {
    script(R"({"OneKeyUninstall": {"callbacks": [
    {"state": 1, "record": {"strProductName": "iTunes"}},
    {"state": 5, "delay": 600000, "record": {"strPath": "never"}},
    {"state": 5, "record": {"strPath": "never either"}},
    {"state": 6, "record": {"bSuccess": 1}}]},
   "ScaniTunesUserData": {"callbacks": [
    {"state": 2, "record": {"type": 1}},
    {"state": 2, "waitStop": true, "record": {"type": 3}},
    {"state": 2, "record": {"type": 4}},
    {"state": 4}]}})");
    using UR = Recorder<ST_UNINSTALL_ITUNES_RESULT>;
    bool stop = false;
    UR uninstall(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UR::callback, &uninstall, false, &stop));
    ASSERT_TRUE(uninstall.waitCount(1));
    requestStop(&stop);  // from another thread, while the engine waits
    ASSERT_TRUE(uninstall.waitFinal());
    EXPECT_EQ(uninstall.states(), (std::vector<int>{1, 6}));

    // A step that waits for the stop is sent once the stop came; the rest is
    // skipped up to the final state.
    using SR = Recorder<ST_ITUNES_USERDATA_ITEM>;
    bool scanStop = false;
    SR scan(kEnumItunesUserDataState_Enum_End);
    ASSERT_TRUE(data->ScaniTunesUserData(&SR::callback, &scan, false, &scanStop));
    ASSERT_TRUE(scan.waitCount(1));
    requestStop(&scanStop);
    ASSERT_TRUE(scan.waitFinal());
    const auto events = scan.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].record.type, 3);
    EXPECT_EQ(events[2].state, kEnumItunesUserDataState_Enum_End);

    // However early the stop comes, the step that waits for it is sent.
    bool earlyStop = true;
    SR early(kEnumItunesUserDataState_Enum_End);
    ASSERT_TRUE(data->ScaniTunesUserData(&SR::callback, &early, false, &earlyStop));
    ASSERT_TRUE(early.waitFinal());
    const auto earlyEvents = early.events();
    ASSERT_EQ(earlyEvents.size(), 2u);
    EXPECT_EQ(earlyEvents[0].record.type, 3);
    EXPECT_EQ(earlyEvents[1].state, kEnumItunesUserDataState_Enum_End);
}

TEST_F(EngineScript, AnOperationStartedFromACallbackRunsAfterIt) {
    script(R"({"OneKeyUninstall": {"callbacks": [{"state": 6, "record": {"bSuccess": 1}}]},
             "OneKeyInstall": {"callbacks": [{"state": 4, "record": {"bSuccess": 1}}]}})");
    using UR = Recorder<ST_UNINSTALL_ITUNES_RESULT>;
    using IR = Recorder<ST_INSTALL_ITUNES_RESULT>;
    IR install(kInstallItunesState_Finished);
    UR uninstall(kUninstallItunesState_Finished);
    std::atomic<bool> insideCallback{false};
    std::atomic<bool> started{false};
    uninstall.onEvent = [&](const UR::Event&) {
        insideCallback = true;
        started = fix->OneKeyInstall(L"/s", &IR::callback, &install);
        insideCallback = false;
    };
    install.onEvent = [&](const IR::Event&) { EXPECT_FALSE(insideCallback.load()); };
    ASSERT_TRUE(fix->OneKeyUninstall(&UR::callback, &uninstall, false, nullptr));
    ASSERT_TRUE(install.waitFinal());
    EXPECT_TRUE(started.load());
}

TEST_F(EngineScript, CallLogHasOneLinePerCallWithItsArguments) {
    script(R"({"CheckiTunes": {"result": false}, "RepairiTunesDamageComponent": {"result": false},
             "OneKeyUninstall": {"result": false}, "ScaniTunesUserData": {"result": false},
             "CleaniTuensUserData": {"result": false}, "RepairiTunes": {"result": false},
             "OneKeyInstall": {"result": false}, "GetiTunesVersion": {"result": "1.2"},
             "GetiTunesVersionBit": {"result": 1}, "OpeniTunes": {"result": 0}})");
    using R = Recorder<ST_REPAIR_ITUNES_RESULT>;
    int context = 0;
    bool stop = false;
    std::vector<int> subTypes = {1, 19};
    std::vector<int> ids = {4};
    char cb[32], ctx[32], st[32];
    std::snprintf(cb, sizeof cb, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&R::callback)));
    std::snprintf(ctx, sizeof ctx, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&context)));
    std::snprintf(st, sizeof st, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&stop)));
    const std::string c = std::string("callback=") + cb + " context=" + ctx;

    fix->CheckiTunes(&R::callback, &context, 0);
    fix->RepairiTunes(L"/x/iTunes \"Setup\"", &R::callback, &context);
    fix->RepairiTunesDamageComponent(&R::callback, &context);
    fix->OneKeyUninstall(&R::callback, &context, true, &stop);
    fix->OneKeyUninstall(&R::callback, &context, false, nullptr);
    fix->OneKeyInstall(L"/x/\u00e9", &R::callback, &context);
    data->ScaniTunesUserData(&R::callback, &context, true, &stop);
    data->CleaniTuensUserData(&R::callback, &context, &subTypes, &ids, &stop);
    data->CleaniTuensUserData(&R::callback, &context, nullptr, nullptr, nullptr);
    fix->GetiTunesVersion();
    fix->GetiTunesVersionBit();
    fix->OpeniTunes();

    const std::vector<std::string> expected = {
        "CreateFixItuensMgr",  // the managers of SetUp
        "CreateItunesUserDataMgr",
        "CheckiTunes " + c + " reserved=0 -> false",
        "RepairiTunes installerDir=\"/x/iTunes \\\"Setup\\\"\" " + c + " -> false",
        "RepairiTunesDamageComponent " + c + " -> false",
        "OneKeyUninstall " + c + " deleteUserData=true stop=" + st + " -> false",
        "OneKeyUninstall " + c + " deleteUserData=false stop=null -> false",
        "OneKeyInstall installerDir=\"/x/\xc3\xa9\" " + c + " -> false",
        "ScaniTunesUserData " + c + " deepScan=true stop=" + st + " -> false",
        "CleaniTuensUserData " + c + " subTypes=[1,19] backupIds=[4] stop=" + st + " -> false",
        "CleaniTuensUserData " + c + " subTypes=null backupIds=null stop=null -> false",
        "GetiTunesVersion -> \"1.2\"",
        "GetiTunesVersionBit -> 1",
        "OpeniTunes -> 0",
    };
    EXPECT_EQ(readLines(logPath), expected);
}

TEST_F(EngineScript, NoCallbackMeansNoStart) {
    // Nothing to report to: the operation is refused rather than run blind.
    script("{}");
    bool stop = false;
    EXPECT_FALSE(fix->CheckiTunes(nullptr, nullptr, 0));
    EXPECT_FALSE(data->ScaniTunesUserData(nullptr, nullptr, false, &stop));
}

}  // namespace
