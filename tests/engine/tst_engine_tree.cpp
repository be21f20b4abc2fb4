// The engine on a real folder tree: check, repair, uninstall, install, scan and
// clean of a demo tree made by scripts/make-demo-tree, including what must
// never be touched (anything outside the root, links' targets).
#include "EngineFixture.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/mount.h>
#include <unistd.h>

#include "testsupport/FolderRace.h"

using namespace enginetest;

namespace {

using CheckRecorder = Recorder<ST_ITUNES_CHECK_RESULT>;
using RepairRecorder = Recorder<ST_REPAIR_ITUNES_RESULT>;
using UninstallRecorder = Recorder<ST_UNINSTALL_ITUNES_RESULT>;
using InstallRecorder = Recorder<ST_INSTALL_ITUNES_RESULT>;
using ScanRecorder = Recorder<ST_ITUNES_USERDATA_ITEM>;
using CleanRecorder = Recorder<ST_DELETE_ITUNES_USERDATA_RESULT>;

class EngineTree : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Engine::get().createFixMgr, nullptr);
        ASSERT_NE(Engine::get().createUserDataMgr, nullptr);
        fix = Engine::get().createFixMgr();
        data = Engine::get().createUserDataMgr();
    }

    std::vector<CheckRecorder::Event> check() {
        CheckRecorder recorder(kCheckItunesProductState_All_Check_Complete);
        EXPECT_TRUE(fix->CheckiTunes(&CheckRecorder::callback, &recorder, 0));
        EXPECT_TRUE(recorder.waitFinal());
        return recorder.events();
    }

    // The component results of a check by product (state 6 left out).
    std::map<int, ST_ITUNES_CHECK_RESULT> components() {
        std::map<int, ST_ITUNES_CHECK_RESULT> result;
        for (const auto& event : check())
            if (event.state != kCheckItunesProductState_All_Check_Complete) result[event.record.product] = event.record;
        return result;
    }

    std::vector<ScanRecorder::Event> scan(bool deep) {
        ScanRecorder recorder(kEnumItunesUserDataState_Enum_End);
        bool stop = false;
        EXPECT_TRUE(data->ScaniTunesUserData(&ScanRecorder::callback, &recorder, deep, &stop));
        EXPECT_TRUE(recorder.waitFinal());
        return recorder.eventsOf(kEnumItunesUserDataState_Enum_Item);
    }

    IFixItunesMgr* fix = nullptr;
    IItunesUserDataMgr* data = nullptr;
};

std::vector<std::wstring> asWide(const std::vector<fs::path>& paths) {
    std::vector<std::wstring> result;
    for (const fs::path& path : paths) result.push_back(wide(path));
    return result;
}

// folders x files small files, dir/d0/f0 ..., the same names in every folder
// made so: a deletion that is led through a link finds its names there.
void makeFiles(const fs::path& dir, int folders, int files) {
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f) writeFile(dir / ("d" + std::to_string(d)) / ("f" + std::to_string(f)), "x");
}

void corrupt(const fs::path& file) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0);
    f << "XX";
}

// --- version, bitness and the product check ---------------------------------

TEST_F(EngineTree, VersionAndBitnessComeFromTheTree) {
    struct Case {
        const char* options;
        std::wstring version;
        int bit;
    };
    for (const Case& c : {Case{"", L"12.10.11.2", 1}, Case{"--bits 32 --version 12.9.0.1", L"12.9.0.1", 0}}) {
        TempTree tree(c.options);
        ASSERT_TRUE(tree.ok());
        EXPECT_EQ(fix->GetiTunesVersion(), c.version) << c.options;
        EXPECT_EQ(fix->GetiTunesVersionBit(), c.bit) << c.options;
    }
    TempTree tree;
    fs::remove_all(tree.programFiles() / "iTunes");
    EXPECT_EQ(fix->GetiTunesVersion(), L"");
    EXPECT_EQ(fix->GetiTunesVersionBit(), 0);
}

TEST_F(EngineTree, WithoutARootTheDemoTreeBesideTheLibraryServes) {
    unsetenv("SORVEL_ROOT");
    // Whatever state the demo tree is in, it is the one the engine reads.
    const fs::path component = fs::path(ZN_APP_DIR) / "SorvelDemo" / "Program Files" / "iTunes" / "COMPONENT";
    std::wstring expected;
    for (const std::string& line : readLines(component))
        if (line.rfind("version=", 0) == 0) expected = wide(line.substr(8));
    EXPECT_EQ(fix->GetiTunesVersion(), expected);
}

TEST_F(EngineTree, CheckFindsMissingAndDamagedFiles) {
    TempTree tree;
    ASSERT_TRUE(tree.ok());
    const auto events = check();
    // One state per component of a 64-bit installation, then the final state.
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events.back().state, kCheckItunesProductState_All_Check_Complete);
    std::map<int, CheckRecorder::Event> byProduct;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].state, events[i].record.status);
        byProduct[events[i].record.product] = events[i];
    }
    ASSERT_EQ(byProduct.size(), 6u);

    const auto& bonjour = byProduct[kItunesProductType_Bonjour].record;
    EXPECT_EQ(bonjour.status, kCheckItunesProductState_Item_Fail_Bad);
    EXPECT_EQ(bonjour.vecDamageFile, asWide({tree.programFiles() / "Bonjour" / "mDNSResponder.exe"}));
    EXPECT_EQ(bonjour.strVersion, L"3.1.0.1");

    const auto& mobile = byProduct[kItunesProductType_AppleMobileDeviceSupport].record;
    EXPECT_EQ(mobile.status, kCheckItunesProductState_Item_Fail_Miss);
    EXPECT_EQ(mobile.vecDamageFile, asWide({tree.programFiles() / "Apple Mobile Device Support" / "MobileDevice.dll"}));

    for (int product : {1, 2, 5, 6})
        EXPECT_EQ(byProduct[product].record.status, kCheckItunesProductState_Item_Success) << product;
    EXPECT_EQ(byProduct[kItunesProductType_iTunes].record.strName, L"iTunes");
    EXPECT_EQ(byProduct[kItunesProductType_iTunes].record.strVersion, L"12.10.11.2");
    // A component without a display name leaves the name to the program.
    EXPECT_EQ(byProduct[kItunesProductType_AppleApplicationSupport64].record.strName, L"");

    const auto& final = events.back().record;
    EXPECT_EQ(final.failCount, 2);
    // The mobile-device component has no intact copy in the installer cache.
    EXPECT_EQ(final.bNeedDownload, 1);

    for (const auto& event : events) EXPECT_NE(event.thread, std::this_thread::get_id());
}

TEST_F(EngineTree, CheckStatesOfOtherInstallations) {
    {
        // A sound installation: nothing failed, nothing to download.
        TempTree tree("--sound");
        const auto events = check();
        ASSERT_EQ(events.size(), 7u);
        for (std::size_t i = 0; i + 1 < events.size(); ++i)
            EXPECT_EQ(events[i].state, kCheckItunesProductState_Item_Success);
        EXPECT_EQ(events.back().record.failCount, 0);
        EXPECT_EQ(events.back().record.bNeedDownload, 0);
    }
    {
        // 32-bit: four components; damage repairable from the installer cache.
        TempTree tree("--sound --bits 32");
        corrupt(tree.programFiles() / "Bonjour" / "dnssd.dll");
        const auto events = check();
        ASSERT_EQ(events.size(), 5u);
        EXPECT_EQ(events.back().record.failCount, 1);
        EXPECT_EQ(events.back().record.bNeedDownload, 0);
    }
    {
        // No manifest: found but not verifiable (state 3); a whole component
        // gone: missing (state 4) with its folder as the damaged path.
        TempTree tree("--sound");
        fs::remove(tree.programFiles() / "Apple Software Update" / "MANIFEST");
        fs::remove_all(tree.programFiles() / "Apple Application Support64");
        auto result = components();
        EXPECT_EQ(result[kItunesProductType_AppleSoftwareUpdate].status, kCheckItunesProductState_Item_Success_NotSure);
        EXPECT_EQ(result[kItunesProductType_AppleApplicationSupport64].status, kCheckItunesProductState_Item_Fail_Miss);
        EXPECT_EQ(result[kItunesProductType_AppleApplicationSupport64].vecDamageFile,
                  asWide({tree.programFiles() / "Apple Application Support64"}));
    }
}

// --- repairs ----------------------------------------------------------------

TEST_F(EngineTree, ComponentRepairUsesTheInstallerCache) {
    TempTree tree("--sound");
    corrupt(tree.programFiles() / "Bonjour" / "mDNSResponder.exe");
    RepairRecorder recorder(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunesDamageComponent(&RepairRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.states(), (std::vector<int>{1, 4}));
    EXPECT_EQ(recorder.events()[0].record.product, kItunesProductType_Bonjour);
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    for (const auto& [product, record] : components())
        EXPECT_EQ(record.status, kCheckItunesProductState_Item_Success) << product;
}

// A manifest line whose path climbs out of the component folder (or is
// absolute) names no file of the component: the check neither judges nor
// reports it, and a repair leaves the file it names alone.
TEST_F(EngineTree, ManifestLinesOutsideTheComponentAreNotItsFiles) {
    const char* const lines[] = {"../Bonjour/COMPONENT", "Locales/../../Bonjour/COMPONENT", "./../Bonjour/COMPONENT",
                                 "@ROOT@/Program Files/Bonjour/COMPONENT"};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        TempTree tree("--sound");
        const fs::path bonjour = tree.programFiles() / "Bonjour" / "COMPONENT";
        const std::string before = readFile(bonjour);
        std::string path = line;
        if (path.rfind("@ROOT@", 0) == 0) path = tree.root().string() + path.substr(6);
        for (const fs::path& component : {tree.programFiles() / "iTunes", tree.cache() / "iTunes"}) {
            std::ofstream manifest(component / "MANIFEST", std::ios::app);
            manifest << std::string(40, '0') << "  " << path << "\n";
        }
        auto result = components();
        EXPECT_EQ(result[kItunesProductType_iTunes].status, kCheckItunesProductState_Item_Success);
        EXPECT_TRUE(result[kItunesProductType_iTunes].vecDamageFile.empty());

        corrupt(tree.programFiles() / "iTunes" / "iTunes.dll");
        RepairRecorder recorder(kRepairItunesState_Finished);
        ASSERT_TRUE(fix->RepairiTunesDamageComponent(&RepairRecorder::callback, &recorder));
        ASSERT_TRUE(recorder.waitFinal());
        EXPECT_EQ(recorder.last().record.bSuccess, 1);
        EXPECT_EQ(readFile(bonjour), before);
    }
}

TEST_F(EngineTree, ComponentRepairFailsWithoutAnIntactCopy) {
    TempTree tree;  // the mobile-device component's cached copy is gone
    RepairRecorder recorder(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunesDamageComponent(&RepairRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.last().record.bSuccess, 0);
    EXPECT_NE(recorder.last().record.nErrorCode, 0);
    // Bonjour was still repaired, the mobile-device component still misses its file.
    auto result = components();
    EXPECT_EQ(result[kItunesProductType_Bonjour].status, kCheckItunesProductState_Item_Success);
    EXPECT_EQ(result[kItunesProductType_AppleMobileDeviceSupport].status, kCheckItunesProductState_Item_Fail_Miss);
}

TEST_F(EngineTree, RepairFromTheInstallerFolder) {
    TempTree tree;
    const fs::path installer = tree.makeInstaller();
    ASSERT_FALSE(installer.empty());
    RepairRecorder recorder(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunes(wide(installer), &RepairRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    std::set<int> repaired;
    for (const auto& event : recorder.eventsOf(kRepairItunesState_Repairing)) repaired.insert(event.record.product);
    EXPECT_EQ(repaired, (std::set<int>{kItunesProductType_AppleMobileDeviceSupport, kItunesProductType_Bonjour}));
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    for (const auto& [product, record] : components())
        EXPECT_EQ(record.status, kCheckItunesProductState_Item_Success) << product;
}

TEST_F(EngineTree, RepairFromTheUnpackedInstallerArchive) {
    // As the program does it: the 7-Zip archive "iTunesSetup.exe" unpacked
    // with "x <archive> -y -o<folder>" into "iTunesSetup".
    TempTree tree;
    const fs::path archive = tree.base() / "iTunesSetup.exe";
    const std::string make =
        std::string("'") + ZN_SOURCE_DIR + "/scripts/make-demo-tree' --archive '" + archive.string() + "' >/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    QFile file(QString::fromStdString(archive.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    EXPECT_EQ(readFile(archive.string() + ".sha1"), hash.result().toHex().toUpper().toStdString() + "\n");

    const fs::path folder = tree.base() / "iTunesSetup";
    const std::string unpack = "7z x '" + archive.string() + "' -y '-o" + folder.string() + "' >/dev/null";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    RepairRecorder recorder(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunes(wide(folder), &RepairRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    for (const auto& [product, record] : components())
        EXPECT_EQ(record.status, kCheckItunesProductState_Item_Success) << product;
}

TEST_F(EngineTree, RepairFromAnIncompleteInstallerFails) {
    TempTree tree;
    const fs::path installer = tree.makeInstaller();
    corrupt(installer / "AppleMobileDeviceSupport64.msi" / "MobileDevice.dll");
    RepairRecorder recorder(kRepairItunesState_Finished);
    ASSERT_TRUE(fix->RepairiTunes(wide(installer), &RepairRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.last().record.bSuccess, 0);
    EXPECT_EQ(components()[kItunesProductType_AppleMobileDeviceSupport].status,
              kCheckItunesProductState_Item_Fail_Miss);

    // A folder that does not exist is refused at once, without a callback.
    RepairRecorder refused(kRepairItunesState_Finished);
    EXPECT_FALSE(fix->RepairiTunes(wide(tree.base() / "nowhere"), &RepairRecorder::callback, &refused));
    EXPECT_FALSE(fix->OneKeyInstall(L"", &RepairRecorder::callback, &refused));
    EXPECT_TRUE(refused.events().empty());
}

// --- uninstall and install --------------------------------------------------

TEST_F(EngineTree, UninstallKeepingUserData) {
    TempTree tree;
    const auto userDataBefore = snapshot(tree.userData());
    UninstallRecorder recorder(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, false, nullptr));
    ASSERT_TRUE(recorder.waitFinal());
    std::vector<std::wstring> names;
    for (const auto& event : recorder.eventsOf(kUninstallItunesState_Uninstalling))
        names.push_back(event.record.strProductName);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"iTunes", L"Apple Software Update", L"Apple Mobile Device Support",
                                                L"Bonjour", L"Apple Application Support (32-bit)",
                                                L"Apple Application Support64"}));
    EXPECT_EQ(recorder.eventsOf(kUninstallItunesState_Step).size(), 6u);
    EXPECT_TRUE(recorder.eventsOf(kUninstallItunesState_Deleting).empty());
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    EXPECT_TRUE(snapshot(tree.programFiles()).empty());
    EXPECT_TRUE(snapshot(tree.cache()).empty());
    EXPECT_EQ(snapshot(tree.userData()), userDataBefore);
    EXPECT_EQ(fix->GetiTunesVersion(), L"");
}

TEST_F(EngineTree, UninstallWithUserDataStaysInsideTheRoot) {
    TempTree tree;
    // Outside the root: a folder reached through a link inside the user data,
    // and one the whole "Junk" subtype folder points to.
    const fs::path outside = tree.base() / "outside";
    writeFile(outside / "keep.txt", "keep");
    fs::create_symlink(outside, tree.userData() / "Media" / "Music" / "linked");
    fs::remove_all(tree.userData() / "Other" / "Junk");
    fs::create_directory_symlink(outside, tree.userData() / "Other" / "Junk");
    const auto otherBackups = snapshot(tree.root() / "Documents");
    const std::int64_t files = static_cast<std::int64_t>(snapshot(tree.userData()).size());

    UninstallRecorder recorder(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, true, nullptr));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    const auto deleting = recorder.eventsOf(kUninstallItunesState_Deleting);
    EXPECT_EQ(static_cast<std::int64_t>(deleting.size()), files);
    for (const auto& event : deleting) EXPECT_EQ(narrow(event.record.strPath).rfind(tree.userData().string(), 0), 0u);

    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.userData())));
    EXPECT_TRUE(snapshot(tree.programFiles()).empty());
    EXPECT_EQ(readFile(outside / "keep.txt"), "keep");
    // Backups of other programs are not iTunes' user data.
    EXPECT_EQ(snapshot(tree.root() / "Documents"), otherBackups);
}

// A file of the installation in use: the uninstall fails before it removes
// anything (an installer rolls back), so iTunes stays whole and repairable.
TEST_F(EngineTree, UninstallWithAnInstallationFileInUseRemovesNothing) {
    TempTree tree;
    writeFile(tree.root() / "in-use.txt",
              "Program Files/iTunes/iTunes.dll\nInstaller Cache/Bonjour\nUser Data/Other/Logs\n");
    const auto before = snapshot(tree.root());
    UninstallRecorder recorder(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, true, nullptr));
    ASSERT_TRUE(recorder.waitFinal());
    // Nothing was started: the final state is the only one.
    ASSERT_EQ(recorder.events().size(), 1u);
    const auto final = recorder.last().record;
    EXPECT_EQ(final.bSuccess, 0);
    EXPECT_EQ(final.nErrorCode, kItunesEngineError_FileOccupied);
    const std::set<std::wstring> occupied(final.vecOccupiedFile.begin(), final.vecOccupiedFile.end());
    const fs::path cache = tree.cache() / "Bonjour";
    EXPECT_EQ(occupied, (std::set<std::wstring>{wide(tree.programFiles() / "iTunes" / "iTunes.dll"),
                                                wide(cache / "COMPONENT"), wide(cache / "MANIFEST"),
                                                wide(cache / "dnssd.dll"), wide(cache / "mDNSResponder.exe")}));
    EXPECT_EQ(snapshot(tree.root()), before);
}

// User data in use is met only once iTunes is gone: the rest goes, the files
// in use stay and are listed.
TEST_F(EngineTree, UninstallReportsUserDataInUse) {
    TempTree tree;
    writeFile(tree.root() / "in-use.txt", "User Data/Other/Logs\n");
    UninstallRecorder recorder(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, true, nullptr));
    ASSERT_TRUE(recorder.waitFinal());
    const auto final = recorder.last().record;
    EXPECT_NE(final.bSuccess, 1);
    EXPECT_EQ(final.nErrorCode, kItunesEngineError_FileOccupied);
    const std::set<std::wstring> occupied(final.vecOccupiedFile.begin(), final.vecOccupiedFile.end());
    const fs::path logs = tree.userData() / "Other" / "Logs";
    EXPECT_EQ(occupied, (std::set<std::wstring>{wide(logs / "CrashReporter" / "iTunes_2024-02-11.crash"),
                                                wide(logs / "iTunes.log")}));
    EXPECT_TRUE(fs::exists(logs / "iTunes.log"));
    EXPECT_FALSE(fs::exists(tree.programFiles() / "iTunes"));
    EXPECT_FALSE(fs::exists(tree.userData() / "Media" / "Music"));
}

TEST_F(EngineTree, UninstallStopsWhenAsked) {
    TempTree tree;
    bool stop = false;
    UninstallRecorder recorder(kUninstallItunesState_Finished);
    recorder.onEvent = [&](const UninstallRecorder::Event& event) {
        if (event.state == kUninstallItunesState_Uninstalling) requestStop(&stop);
    };
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, true, &stop));
    ASSERT_TRUE(recorder.waitFinal());
    // The component under way is finished, then the final state follows.
    EXPECT_EQ(recorder.eventsOf(kUninstallItunesState_Uninstalling).size(), 1u);
    EXPECT_EQ(recorder.last().state, kUninstallItunesState_Finished);
    EXPECT_EQ(recorder.last().record.bSuccess, 0);
    EXPECT_FALSE(fs::exists(tree.programFiles() / "iTunes"));
    EXPECT_TRUE(fs::exists(tree.programFiles() / "Bonjour" / "COMPONENT"));
    EXPECT_FALSE(snapshot(tree.userData()).empty());
}

TEST_F(EngineTree, InstallAfterUninstallRestoresTheInstallation) {
    TempTree tree;
    const fs::path installer = tree.makeInstaller();
    UninstallRecorder uninstall(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &uninstall, false, nullptr));
    ASSERT_TRUE(uninstall.waitFinal());

    InstallRecorder recorder(kInstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyInstall(wide(installer), &InstallRecorder::callback, &recorder));
    ASSERT_TRUE(recorder.waitFinal());
    const auto installing = recorder.eventsOf(kInstallItunesState_Installing);
    ASSERT_EQ(installing.size(), 6u);
    // Shared components first, iTunes itself last.
    EXPECT_EQ(installing.back().record.strInstallerPath, wide(installer / "iTunes64.msi"));
    EXPECT_EQ(recorder.last().record.bSuccess, 1);
    EXPECT_EQ(fix->GetiTunesVersion(), L"12.10.11.2");
    EXPECT_EQ(fix->GetiTunesVersionBit(), 1);
    for (const auto& [product, record] : components())
        EXPECT_EQ(record.status, kCheckItunesProductState_Item_Success) << product;
}

TEST_F(EngineTree, OpeniTunesStartsTheInstalledProgram) {
    TempTree tree("--sound");
    const fs::path marker = tree.base() / "started";
    writeFile(tree.programFiles() / "iTunes" / "iTunes", "#!/bin/sh\necho started > '" + marker.string() + "'\n");
    fs::permissions(tree.programFiles() / "iTunes" / "iTunes", fs::perms::owner_all);
    EXPECT_EQ(fix->OpeniTunes(), 1);
    for (int i = 0; i < 600 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(marker));

    fs::remove_all(tree.programFiles() / "iTunes");
    EXPECT_EQ(fix->OpeniTunes(), 0);
}

// --- scan -------------------------------------------------------------------

TEST_F(EngineTree, QuickScanReportsEverySubtypeWithItsSize) {
    TempTree tree;
    const auto items = scan(false);
    const std::map<int, std::string> folders = {{1, "Media/Music"},       {2, "Media/Movies"},
                                                {3, "Media/Home Videos"}, {4, "Media/TV Shows"},
                                                {5, "Media/Podcasts"},    {6, "Media/Audiobooks"},
                                                {7, "Media/iTunes U"},    {8, "Media/Voice Memos"},
                                                {9, "Media/Books"},       {10, "Media/Tones"},
                                                {11, "Media/Downloads"},  {13, "Updates/iTunes"},
                                                {14, "Updates/iOS"},      {15, "Other/Mobile Applications"},
                                                {16, "Other/Cache"},      {17, "Other/Cookies"},
                                                {18, "Other/Logs"},       {19, "Other/Junk"}};
    std::map<int, std::int64_t> categorySizes;
    for (const auto& [subType, folder] : folders) {
        const int type = subType <= 11 ? 1 : subType <= 14 ? 3 : 4;
        categorySizes[type] += bytesBelow(tree.userData() / folder);
    }

    std::map<int, ST_ITUNES_USERDATA_ITEM> bySubType;
    std::vector<ST_ITUNES_USERDATA_ITEM> backups;
    const ST_ITUNES_SCAN_COUNT* counters = items.empty() ? nullptr : items[0].record.pScanCount;
    for (const auto& event : items) {
        EXPECT_EQ(event.record.pScanCount, counters);
        if (event.record.type == kItunesUserDataType_iOSBackup)
            backups.push_back(event.record);
        else
            bySubType[event.record.subType] = event.record;
    }
    ASSERT_EQ(bySubType.size(), folders.size());
    for (const auto& [subType, folder] : folders) {
        const auto& item = bySubType[subType];
        EXPECT_EQ(item.size, bytesBelow(tree.userData() / folder)) << folder;
    }
    // Items come as their folders are sized: each carries its category's size
    // so far, so the category's last item carries the whole.
    std::map<int, std::int64_t> soFar;
    std::map<int, std::int64_t> lastOfCategory;
    for (const auto& event : items) {
        const auto& item = event.record;
        if (item.type == kItunesUserDataType_iOSBackup) continue;
        soFar[item.type] += item.size;
        EXPECT_EQ(item.categorySize, soFar[item.type]) << item.subType;
        lastOfCategory[item.type] = item.categorySize;
    }
    for (const auto& [type, size] : categorySizes) EXPECT_EQ(lastOfCategory[type], size) << type;
    EXPECT_GT(bySubType[1].size, 0);
    EXPECT_EQ(bySubType[11].size, 0);  // the empty Downloads folder

    // iTunes' own backups only: three usable, one without a date.
    ASSERT_EQ(backups.size(), 4u);
    std::map<std::wstring, ST_ITUNES_BACKUP_INFO> valid;
    std::int64_t validBytes = 0;
    for (const auto& item : backups) {
        EXPECT_EQ(item.subType, kItunesUserDataSubType_iOSBackup);
        if (item.stBackupInfo.isVaild) {
            valid[item.stBackupInfo.strTime] = item.stBackupInfo;
            validBytes += item.stBackupInfo.dirSize;
        }
    }
    ASSERT_EQ(valid.size(), 3u);
    for (const auto& item : backups) EXPECT_EQ(item.size, validBytes);
    const auto& anna = valid[L"2024-03-02T18:45:10Z"];
    EXPECT_EQ(anna.strName, L"Anna's iPhone");
    EXPECT_EQ(anna.dirSize, bytesBelow(tree.userData() / "Backup" / "00008030-001A2B3C4D5E6F70"));
    EXPECT_EQ(valid[L"2022-06-30T21:15:00Z"].strName, L"");  // shown as "Unknown"
    std::set<int> ids;
    for (const auto& item : backups) ids.insert(item.stBackupInfo.id);
    EXPECT_EQ(ids.size(), 4u);

    ASSERT_NE(counters, nullptr);
    EXPECT_GT(counters->nDeepScanTotalDirCount, 0);
    EXPECT_EQ(counters->nCurrentScanDirCount, counters->nDeepScanTotalDirCount);
}

TEST_F(EngineTree, DeepScanAlsoFindsOtherProgramsBackups) {
    TempTree tree;
    std::vector<std::wstring> devices;
    for (const auto& event : scan(true))
        if (event.record.type == kItunesUserDataType_iOSBackup && event.record.stBackupInfo.isVaild)
            devices.push_back(event.record.stBackupInfo.strName);
    EXPECT_EQ(devices.size(), 4u);
    EXPECT_NE(std::find(devices.begin(), devices.end(), L"Old iPhone 6"), devices.end());
}

// The live counters move while the scan goes, and the first item comes as
// soon as its folder is sized: a caller polling them sees progress from the
// first item on, long before the scan ends.
TEST_F(EngineTree, DeepScanPublishesItsCountersAsItGoes) {
    TempTree tree;
    ScanRecorder recorder(kEnumItunesUserDataState_Enum_End);
    std::vector<std::pair<int, int>> seen;  // (current, total) at each item, read on the engine's thread
    recorder.onEvent = [&seen](const ScanRecorder::Event& event) {
        if (event.state != kEnumItunesUserDataState_Enum_Item) return;
        seen.emplace_back(event.record.pScanCount->nCurrentScanDirCount,
                          event.record.pScanCount->nDeepScanTotalDirCount);
    };
    bool stop = false;
    ASSERT_TRUE(data->ScaniTunesUserData(&ScanRecorder::callback, &recorder, true, &stop));
    ASSERT_TRUE(recorder.waitFinal());
    const auto items = recorder.eventsOf(kEnumItunesUserDataState_Enum_Item);
    ASSERT_EQ(seen.size(), items.size());
    ASSERT_GT(seen.size(), 2u);
    // The first item is Music, reported before the other media folders were
    // visited; the total is known from the start.
    EXPECT_EQ(items.front().record.subType, kItunesUserDataSubType_Music);
    const int total = seen.front().second;
    EXPECT_GT(seen.front().first, 0);
    EXPECT_LT(seen.front().first, total);
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].first, seen[i - 1].first) << i;
        EXPECT_EQ(seen[i].second, total) << i;
    }
    EXPECT_GT(seen.back().first, seen.front().first);
    EXPECT_EQ(items.front().record.pScanCount->nCurrentScanDirCount, total);
}

TEST_F(EngineTree, ScanCountersOutliveTheScan) {
    TempTree tree;
    const auto first = scan(true);
    ASSERT_FALSE(first.empty());
    const auto second = scan(false);
    ASSERT_FALSE(second.empty());
    // One counter record for the life of the manager, readable after the scans.
    EXPECT_EQ(first[0].record.pScanCount, second[0].record.pScanCount);
    EXPECT_GT(first[0].record.pScanCount->nDeepScanTotalDirCount, 0);
}

TEST_F(EngineTree, ScanStopsWhenAsked) {
    TempTree tree;
    for (bool deep : {false, true}) {
        // Stopped before it began: only the final state.
        bool stop = true;
        ScanRecorder early(kEnumItunesUserDataState_Enum_End);
        ASSERT_TRUE(data->ScaniTunesUserData(&ScanRecorder::callback, &early, deep, &stop));
        ASSERT_TRUE(early.waitFinal());
        EXPECT_EQ(early.states(), (std::vector<int>{kEnumItunesUserDataState_Enum_End}));

        // Stopped at the first item: the scan ends early, with the final state.
        stop = false;
        ScanRecorder recorder(kEnumItunesUserDataState_Enum_End);
        recorder.onEvent = [&](const ScanRecorder::Event&) { requestStop(&stop); };
        ASSERT_TRUE(data->ScaniTunesUserData(&ScanRecorder::callback, &recorder, deep, &stop));
        ASSERT_TRUE(recorder.waitFinal());
        const auto items = recorder.eventsOf(kEnumItunesUserDataState_Enum_Item);
        EXPECT_LT(items.size(), 18u);
        for (const auto& item : items) EXPECT_NE(item.record.type, kItunesUserDataType_iOSBackup);
        EXPECT_EQ(recorder.last().state, kEnumItunesUserDataState_Enum_End);
    }
}

// --- clean ------------------------------------------------------------------

TEST_F(EngineTree, CleanDeletesExactlyTheChosenFiles) {
    TempTree tree;
    // Outside the root, behind a link inside the chosen subtype.
    const fs::path outside = tree.base() / "outside";
    writeFile(outside / "keep.m4a", "keep");
    fs::create_symlink(outside, tree.userData() / "Media" / "Music" / "linked");
    fs::create_symlink(outside / "keep.m4a", tree.userData() / "Media" / "Music" / "song.m4a");

    int ipadId = 0;
    for (const auto& event : scan(false))
        if (event.record.stBackupInfo.strName == L"iPad Pro") ipadId = event.record.stBackupInfo.id;
    ASSERT_NE(ipadId, 0);

    const auto before = snapshot(tree.root());
    const fs::path music = tree.userData() / "Media" / "Music";
    const fs::path ipad = tree.userData() / "Backup" / "00008101-000C1D2E3F405162";
    std::int64_t expectedBytes = 0;
    std::map<std::string, std::int64_t> expected;
    for (const auto& [path, size] : before) {
        const bool chosen = path.rfind(music.string() + "/", 0) == 0 || path.rfind(ipad.string() + "/", 0) == 0;
        if (!chosen)
            expected[path] = size;
        else if (size > 0)
            expectedBytes += size;
    }

    // The request's vectors are the caller's: they may go away as soon as the
    // call returns (the sanitizer build catches a late read).
    auto* subTypes = new std::vector<int>{kItunesUserDataSubType_Music};
    auto* backupIds = new std::vector<int>{ipadId};
    bool stop = false;
    CleanRecorder recorder(kDeleteItunesUserDataState_DeleteComplete);
    ASSERT_TRUE(data->CleaniTuensUserData(&CleanRecorder::callback, &recorder, subTypes, backupIds, &stop));
    delete subTypes;
    delete backupIds;
    ASSERT_TRUE(recorder.waitFinal());

    EXPECT_EQ(snapshot(tree.root()), expected);
    EXPECT_TRUE(fs::is_directory(music));  // the subtype folder itself stays
    EXPECT_FALSE(fs::exists(ipad));
    EXPECT_EQ(readFile(outside / "keep.m4a"), "keep");

    const auto final = recorder.last().record;
    EXPECT_EQ(final.bSucess, 1);
    EXPECT_EQ(final.llTotalSize, expectedBytes);
    EXPECT_EQ(final.llDoneSize, expectedBytes);
    EXPECT_TRUE(final.vecOccupiedFile.empty());
    std::int64_t previous = 0;
    for (const auto& event : recorder.eventsOf(kDeleteItunesUserDataState_Deleting)) {
        EXPECT_GE(event.record.llDoneSize, previous);
        EXPECT_EQ(event.record.llTotalSize, expectedBytes);
        previous = event.record.llDoneSize;
    }
}

TEST_F(EngineTree, CleanReportsFilesInUse) {
    TempTree tree;
    writeFile(tree.root() / "in-use.txt", "User Data/Other/Cookies/Cookies.binarycookies\n");
    std::vector<int> subTypes = {kItunesUserDataSubType_Cookies, kItunesUserDataSubType_Cache};
    std::vector<int> backupIds;
    bool stop = false;
    CleanRecorder recorder(kDeleteItunesUserDataState_DeleteComplete);
    ASSERT_TRUE(data->CleaniTuensUserData(&CleanRecorder::callback, &recorder, &subTypes, &backupIds, &stop));
    ASSERT_TRUE(recorder.waitFinal());
    const auto final = recorder.last().record;
    EXPECT_EQ(final.bSucess, 0);
    const fs::path cookie = tree.userData() / "Other" / "Cookies" / "Cookies.binarycookies";
    EXPECT_EQ(final.vecOccupiedFile, asWide({cookie}));
    EXPECT_TRUE(fs::exists(cookie));
    EXPECT_TRUE(snapshot(tree.userData() / "Other" / "Cache").empty());
    EXPECT_EQ(final.llDoneSize, final.llTotalSize - static_cast<std::int64_t>(fs::file_size(cookie)));
}

TEST_F(EngineTree, CleanStopsWhenAsked) {
    TempTree tree;
    std::vector<int> subTypes = {kItunesUserDataSubType_Music, kItunesUserDataSubType_Movies,
                                 kItunesUserDataSubType_TVShows};
    std::vector<int> backupIds;
    bool stop = false;
    CleanRecorder recorder(kDeleteItunesUserDataState_DeleteComplete);
    recorder.onEvent = [&](const CleanRecorder::Event& event) {
        if (event.state == kDeleteItunesUserDataState_Deleting) requestStop(&stop);
    };
    ASSERT_TRUE(data->CleaniTuensUserData(&CleanRecorder::callback, &recorder, &subTypes, &backupIds, &stop));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(recorder.eventsOf(kDeleteItunesUserDataState_Deleting).size(), 1u);
    const auto final = recorder.last().record;
    EXPECT_EQ(final.bSucess, 0);
    EXPECT_LT(final.llDoneSize, final.llTotalSize);
    EXPECT_FALSE(snapshot(tree.userData() / "Media" / "TV Shows").empty());
}

TEST_F(EngineTree, CleanIgnoresUnknownBackupIdsAndTheBackupSubtype) {
    TempTree tree;
    const auto before = snapshot(tree.root());
    // No scan in this manager: ids mean nothing; subtype 12 names no folder.
    std::vector<int> subTypes = {kItunesUserDataSubType_iOSBackup, 99, -1};
    std::vector<int> backupIds = {1, 2, 3};
    CleanRecorder recorder(kDeleteItunesUserDataState_DeleteComplete);
    ASSERT_TRUE(data->CleaniTuensUserData(&CleanRecorder::callback, &recorder, &subTypes, &backupIds, nullptr));
    ASSERT_TRUE(recorder.waitFinal());
    EXPECT_EQ(snapshot(tree.root()), before);
    EXPECT_EQ(recorder.last().record.llTotalSize, 0);
    EXPECT_EQ(recorder.last().record.bSucess, 1);
}

TEST_F(EngineTree, NothingOutsideTheRootIsTouchedThroughALinkedLayoutFolder) {
    TempTree tree;
    // "User Data" itself is a link to a folder outside the root.
    const fs::path outside = tree.base() / "elsewhere";
    fs::rename(tree.userData(), outside);
    fs::create_directory_symlink(outside, tree.userData());
    const auto outsideBefore = snapshot(outside);

    std::vector<int> subTypes = {1, 2, 3, 13, 19};
    std::vector<int> backupIds;
    CleanRecorder clean(kDeleteItunesUserDataState_DeleteComplete);
    ASSERT_TRUE(data->CleaniTuensUserData(&CleanRecorder::callback, &clean, &subTypes, &backupIds, nullptr));
    ASSERT_TRUE(clean.waitFinal());
    EXPECT_EQ(clean.last().record.llTotalSize, 0);
    EXPECT_EQ(snapshot(outside), outsideBefore);

    UninstallRecorder uninstall(kUninstallItunesState_Finished);
    ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &uninstall, true, nullptr));
    ASSERT_TRUE(uninstall.waitFinal());
    EXPECT_EQ(snapshot(outside), outsideBefore);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.userData())));  // the link went, as a link
}

// A local process exchanges a folder of the user data with a link to a folder
// outside the root (same names inside), in a loop, while the clean or the
// uninstall with user data runs: nothing outside may go. Several rounds per
// operation, since each meets the exchanges at other moments.
TEST_F(EngineTree, CleanAndUninstallStayInsideTheRootWhileAFolderIsSwappedForALink) {
    for (const bool uninstall : {false, true}) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(uninstall ? "uninstall" : "clean") + ", round " + std::to_string(round));
            TempTree tree;
            ASSERT_TRUE(tree.ok());
            const fs::path album = tree.userData() / "Media" / "Music" / "album";
            const fs::path outside = tree.base() / "outside";
            makeFiles(album, 6, 120);
            makeFiles(outside, 6, 120);
            fs::create_directory_symlink(outside, tree.base() / "swap");
            const auto canaries = snapshot(outside);

            testsupport::FolderLinkSwapper racer(album.string(), (tree.base() / "swap").string());
            if (uninstall) {
                UninstallRecorder recorder(kUninstallItunesState_Finished);
                ASSERT_TRUE(fix->OneKeyUninstall(&UninstallRecorder::callback, &recorder, true, nullptr));
                ASSERT_TRUE(recorder.waitFinal());
            } else {
                std::vector<int> subTypes = {kItunesUserDataSubType_Music};
                std::vector<int> backupIds;
                CleanRecorder recorder(kDeleteItunesUserDataState_DeleteComplete);
                ASSERT_TRUE(
                    data->CleaniTuensUserData(&CleanRecorder::callback, &recorder, &subTypes, &backupIds, nullptr));
                ASSERT_TRUE(recorder.waitFinal());
            }
            racer.stop();
            EXPECT_TRUE(racer.firstSwapDone()) << "the racer could not exchange the folder and the link";
            EXPECT_EQ(snapshot(outside).size(), canaries.size());
        }
    }
}

// The install writes each file in the folder it opened from the root: while
// a local process exchanges a folder of the installation with a link to a
// folder outside the root (files of the same names), in a loop, nothing is
// written or made there.
TEST_F(EngineTree, InstallWritesOnlyInsideTheRootWhileAFolderIsSwappedForALink) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempTree tree;
        ASSERT_TRUE(tree.ok());
        const fs::path installer = tree.makeInstaller();
        ASSERT_FALSE(installer.empty());
        // Many files in one folder of the iTunes package, listed in its manifest.
        const fs::path package = installer / "iTunes64.msi";
        std::ofstream manifest(package / "MANIFEST", std::ios::app);
        const fs::path outside = tree.base() / "outside";
        for (int i = 0; i < 300; ++i) {
            const std::string name = "f" + std::to_string(i);
            const std::string content = "new " + name;
            writeFile(package / "Locales" / "xx" / name, content);
            manifest << QCryptographicHash::hash(QByteArray::fromStdString(content), QCryptographicHash::Sha1)
                            .toHex()
                            .toStdString()
                     << "  Locales/xx/" << name << "\n";
            writeFile(outside / "xx" / name, "canary");
        }
        manifest.close();
        fs::create_directory_symlink(outside, tree.base() / "swap");
        const auto canaries = snapshot(outside);

        testsupport::FolderLinkSwapper racer((tree.programFiles() / "iTunes" / "Locales").string(),
                                             (tree.base() / "swap").string());
        InstallRecorder recorder(kInstallItunesState_Finished);
        ASSERT_TRUE(fix->OneKeyInstall(wide(installer), &InstallRecorder::callback, &recorder));
        ASSERT_TRUE(recorder.waitFinal());
        racer.stop();
        EXPECT_TRUE(racer.firstSwapDone()) << "the racer could not exchange the folder and the link";
        EXPECT_EQ(snapshot(outside).size(), canaries.size()) << "files were made outside the root";
        int overwritten = 0;
        for (const auto& [path, size] : snapshot(outside))
            if (readFile(path) != "canary") ++overwritten;
        EXPECT_EQ(overwritten, 0);
    }
}

// Mounts inside the tree (bind mounts of a folder outside it, made in a private
// mount namespace of a child): one in a subtype folder, and one elsewhere in the
// tree that holds a backup-info file. The deep scan neither counts nor offers
// them (nor what lies under a mount on the way to a subtype folder), and the
// clean and the uninstall with user data leave them alone and report the mount
// point as not deleted.
TEST_F(EngineTree, ScanCleanAndUninstallLeaveMountsAlone) {
    TempTree tree;
    ASSERT_TRUE(tree.ok());
    const fs::path outside = tree.base() / "outside";
    writeFile(outside / "precious.m4a", std::string(1000, 'p'));
    writeFile(outside / "BackupInfo.txt", "Device Name=Mounted Phone\nLast Backup Date=2026-01-02T03:04:05Z\n");
    const fs::path music = tree.userData() / "Media" / "Music";
    const fs::path inMusic = music / "mounted";
    const fs::path elsewhere = tree.root() / "Elsewhere" / "mounted";
    fs::create_directories(inMusic);
    fs::create_directories(elsewhere);
    // A mount on the way to a subtype folder: "Updates" with an "iTunes" in it.
    const fs::path updatesSource = tree.base() / "updates";
    writeFile(updatesSource / "iTunes" / "iTunes.pkg", "update");
    const fs::path updates = tree.userData() / "Updates";
    const std::int64_t musicBytes = bytesBelow(music);
    const auto outsideBefore = snapshot(outside);
    const auto contains = [](const std::vector<std::wstring>& list, const fs::path& path) {
        return std::find(list.begin(), list.end(), wide(path)) != list.end();
    };

    const int code = testsupport::runInChild([&] {
        if (!testsupport::bindMountPrivately(outside.string(), inMusic.string()) ||
            mount(outside.c_str(), elsewhere.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(updatesSource.c_str(), updates.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return testsupport::kCannotSetUp;
        IItunesUserDataMgr* userData = Engine::get().createUserDataMgr();
        IFixItunesMgr* fixer = Engine::get().createFixMgr();

        ScanRecorder scanned(kEnumItunesUserDataState_Enum_End);
        bool stop = false;
        if (!userData->ScaniTunesUserData(&ScanRecorder::callback, &scanned, true, &stop) || !scanned.waitFinal())
            return 10;
        std::vector<int> backupIds;
        for (const auto& event : scanned.eventsOf(kEnumItunesUserDataState_Enum_Item)) {
            if (event.record.subType == kItunesUserDataSubType_Music && event.record.size != musicBytes) return 1;
            // Everything of the update files lies under the mount on the way.
            if (event.record.type == kItunesUserDataType_UpdateFiles && event.record.size != 0) return 8;
            if (event.record.stBackupInfo.strName == L"Mounted Phone") return 2;
            if (event.record.stBackupInfo.id != 0) backupIds.push_back(event.record.stBackupInfo.id);
        }

        std::vector<int> subTypes = {kItunesUserDataSubType_Music, kItunesUserDataSubType_iTunesUpdateFiles};
        CleanRecorder cleaned(kDeleteItunesUserDataState_DeleteComplete);
        if (!userData->CleaniTuensUserData(&CleanRecorder::callback, &cleaned, &subTypes, &backupIds, &stop) ||
            !cleaned.waitFinal())
            return 10;
        if (snapshot(outside) != outsideBefore || readFile(updates / "iTunes" / "iTunes.pkg") != "update") return 3;
        const auto& occupied = cleaned.last().record.vecOccupiedFile;
        if (cleaned.last().record.bSucess != 0 || !contains(occupied, inMusic) ||
            !contains(occupied, updates / "iTunes"))
            return 4;

        UninstallRecorder uninstalled(kUninstallItunesState_Finished);
        if (!fixer->OneKeyUninstall(&UninstallRecorder::callback, &uninstalled, true, nullptr) ||
            !uninstalled.waitFinal())
            return 10;
        if (snapshot(outside) != outsideBefore || readFile(updates / "iTunes" / "iTunes.pkg") != "update") return 5;
        const auto& final = uninstalled.last().record;
        if (final.bSuccess != 0 || !contains(final.vecOccupiedFile, inMusic) ||
            !contains(final.vecOccupiedFile, updates))
            return 6;
        for (const auto& [path, size] : snapshot(tree.userData()))  // the rest went
            if (path.rfind(inMusic.string() + "/", 0) != 0 && path.rfind(updates.string() + "/", 0) != 0) return 7;
        return 0;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "a private mount namespace with bind mounts");
    EXPECT_NE(code, 1) << "the scan counted the mount in the subtype's size";
    EXPECT_NE(code, 2) << "the deep scan offered a mounted folder as a backup";
    EXPECT_NE(code, 3) << "the clean deleted inside a mount";
    EXPECT_NE(code, 4) << "the clean did not report the mount point as not deleted";
    EXPECT_NE(code, 5) << "the uninstall deleted inside a mount";
    EXPECT_NE(code, 6) << "the uninstall did not report the mount point as not deleted";
    EXPECT_NE(code, 7) << "the rest of the user data was not deleted";
    EXPECT_NE(code, 8) << "the scan counted bytes under a mount on the way to a subtype folder";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(snapshot(outside), outsideBefore);
    EXPECT_EQ(readFile(updatesSource / "iTunes" / "iTunes.pkg"), "update");
}

}  // namespace
