// The repair manager: version and bitness, the product check, the repairs,
// the uninstall and the install, on the tree or as the script says.
#include <algorithm>
#include <cerrno>
#include <map>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "Managers.h"
#include "Scripted.h"

extern char** environ;

namespace sorvel {

namespace {

const fs::path kITunesProgram = "iTunes";  // the program inside the iTunes folder

// Starts `program` in a session of its own. posix_spawn neither allocates nor
// takes locks in the child, so it is safe while other threads run (a fork that
// allocates can wait for ever for a lock another thread held at the fork). A
// small thread reaps the program when it ends, so it never stays a zombie.
bool spawnDetached(const fs::path& program) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    std::string file = program.string();
    char* argv[] = {file.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, file.c_str(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0 || pid <= 0) return false;
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool isRegular(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

bool entryExists(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

struct ComponentState {
    const ComponentKind* kind = nullptr;
    ComponentInfo info;
    int status = kCheckItunesProductState_Item_Success;
    std::vector<fs::path> damaged;
};

// Checks one component of the installation against its manifest.
ComponentState checkComponent(const Tree& tree, const ComponentKind& kind) {
    ComponentState state;
    state.kind = &kind;
    const fs::path dir = tree.programFiles() / kind.folder;
    state.info = readComponentInfo(dir);
    if (!tree.isRealDir(dir) || !state.info.present || state.info.product != kind.product) {
        state.status = kCheckItunesProductState_Item_Fail_Miss;
        state.damaged.push_back(dir);
        return state;
    }
    const Manifest manifest = readManifest(dir);
    if (!manifest.present) {
        state.status = kCheckItunesProductState_Item_Success_NotSure;  // nothing to check against
        return state;
    }
    std::vector<fs::path> missing;
    std::vector<fs::path> bad;
    for (const auto& [relative, digest] : manifest.files) {
        const fs::path file = dir / relative;
        if (!isRegular(file))
            missing.push_back(file);
        else if (!fileMatches(file, digest))
            bad.push_back(file);
    }
    if (!missing.empty())
        state.status = kCheckItunesProductState_Item_Fail_Miss;
    else if (!bad.empty())
        state.status = kCheckItunesProductState_Item_Fail_Bad;
    state.damaged = missing;
    state.damaged.insert(state.damaged.end(), bad.begin(), bad.end());
    return state;
}

bool isFailed(const ComponentState& state) {
    return state.status == kCheckItunesProductState_Item_Fail_Miss ||
           state.status == kCheckItunesProductState_Item_Fail_Bad;
}

bool is64Bit(const Tree& tree) {
    const ComponentInfo info = readComponentInfo(tree.programFiles() / "iTunes");
    return info.present && info.product == kItunesProductType_iTunes && info.bits == 64;
}

std::vector<ComponentState> checkInstallation(const Tree& tree) {
    std::vector<ComponentState> states;
    for (int product : expectedProducts(is64Bit(tree))) states.push_back(checkComponent(tree, *componentKind(product)));
    return states;
}

// A package (an installer package or the installer cache's copy) is usable
// when it names the product and every file of its manifest is there intact.
bool isUsablePackage(const fs::path& dir, int product) {
    const ComponentInfo info = readComponentInfo(dir);
    if (!info.present || info.product != product) return false;
    const Manifest manifest = readManifest(dir);
    if (!manifest.present) return false;
    for (const auto& [relative, digest] : manifest.files)
        if (!fileMatches(dir / relative, digest)) return false;
    return true;
}

// The packages of an unpacked installer folder by product: its sub-folders
// that hold a COMPONENT file.
std::map<int, fs::path> findPackages(const fs::path& installerDir) {
    std::map<int, fs::path> packages;
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(installerDir, ec), end; !ec && it != end; it.increment(ec))
        children.push_back(it->path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (fs::symlink_status(child, ec).type() != fs::file_type::directory) continue;
        const ComponentInfo info = readComponentInfo(child);
        if (info.present && !packages.count(info.product)) packages[info.product] = child;
    }
    return packages;
}

bool isInstallerFolder(const std::wstring& installerDir) {
    std::error_code ec;
    return !installerDir.empty() && fs::is_directory(fromWide(installerDir), ec);
}

// Writes a package into the installation and the installer cache. Returns 0,
// or the engine error: -2 when files of the installation are in use, -1 else.
int installPackage(const Tree& tree, const ComponentKind& kind, const fs::path& package) {
    if (!isUsablePackage(package, kind.product)) return -1;
    std::vector<fs::path> failed;
    const fs::path target = tree.programFiles() / kind.folder;
    const fs::path cache = tree.installerCache() / kind.folder;
    tree.copyTree(package, target, &failed);
    if (package.lexically_normal() != cache.lexically_normal()) tree.copyTree(package, cache, &failed);
    if (failed.empty()) return 0;
    for (const fs::path& path : failed)
        if (tree.isInUse(path)) return kItunesEngineError_FileOccupied;
    return -1;
}

std::wstring displayName(const ComponentKind& kind, const ComponentInfo& info) {
    if (!info.name.empty()) return toWide(info.name);
    return GetiTunesProductName(kind.product);
}

// --- record fields from a script ------------------------------------------

void fillCheck(ST_ITUNES_CHECK_RESULT& r, const QJsonObject& o) {
    r.product = jsonInt(o, "product");
    r.strName = jsonWide(o, "strName");
    r.strVersion = jsonWide(o, "strVersion");
    r.status = jsonInt(o, "status");
    r.vecDamageFile = jsonWideList(o, "vecDamageFile");
    r.failCount = jsonInt(o, "failCount");
    r.bNeedDownload = static_cast<std::uint8_t>(jsonInt(o, "bNeedDownload"));
}

void fillRepair(ST_REPAIR_ITUNES_RESULT& r, const QJsonObject& o) {
    r.product = jsonInt(o, "product");
    r.bSuccess = static_cast<std::uint8_t>(jsonInt(o, "bSuccess"));
    r.nErrorCode = jsonInt(o, "nErrorCode");
}

void fillUninstall(ST_UNINSTALL_ITUNES_RESULT& r, const QJsonObject& o) {
    r.strProductName = jsonWide(o, "strProductName");
    r.strPath = jsonWide(o, "strPath");
    r.bSuccess = static_cast<std::uint8_t>(jsonInt(o, "bSuccess"));
    r.nErrorCode = jsonInt(o, "nErrorCode");
    r.vecOccupiedFile = jsonWideList(o, "vecOccupiedFile");
}

void fillInstall(ST_INSTALL_ITUNES_RESULT& r, const QJsonObject& o) {
    r.strInstallerPath = jsonWide(o, "strInstallerPath");
    r.bSuccess = static_cast<std::uint8_t>(jsonInt(o, "bSuccess"));
    r.nErrorCode = jsonInt(o, "nErrorCode");
}

// --- the work on the tree --------------------------------------------------

void runCheck(const fs::path& root, ItunesEngineCallback callback, void* context) {
    const Tree tree(root);
    int failCount = 0;
    bool needDownload = false;
    for (const ComponentState& state : checkInstallation(tree)) {
        ST_ITUNES_CHECK_RESULT record;
        record.product = state.kind->product;
        record.strName = toWide(state.info.name);
        record.strVersion = toWide(state.info.version);
        record.status = state.status;
        for (const fs::path& file : state.damaged) record.vecDamageFile.push_back(toWide(file));
        if (isFailed(state)) {
            ++failCount;
            // Without an intact copy in the installer cache the repair needs the
            // iTunes installer.
            if (!isUsablePackage(tree.installerCache() / state.kind->folder, state.kind->product)) needDownload = true;
        }
        callback(context, state.status, &record);
    }
    ST_ITUNES_CHECK_RESULT final;
    final.failCount = failCount;
    final.bNeedDownload = needDownload ? 1 : 0;
    callback(context, kCheckItunesProductState_All_Check_Complete, &final);
}

// Repairs every failed component from `packages` (product -> package folder).
void runRepair(const Tree& tree, const std::map<int, fs::path>& packages, ItunesEngineCallback callback,
               void* context) {
    ST_REPAIR_ITUNES_RESULT final;
    final.bSuccess = 1;
    if (!tree.valid()) {
        final.bSuccess = 0;
        final.nErrorCode = -1;
    }
    for (const ComponentState& state : tree.valid() ? checkInstallation(tree) : std::vector<ComponentState>()) {
        if (!isFailed(state)) continue;
        ST_REPAIR_ITUNES_RESULT progress;
        progress.product = state.kind->product;
        callback(context, kRepairItunesState_Repairing, &progress);
        const auto package = packages.find(state.kind->product);
        const int error = package == packages.end() ? -1 : installPackage(tree, *state.kind, package->second);
        if (error != 0 && final.bSuccess) {
            final.bSuccess = 0;
            final.nErrorCode = error;
        }
    }
    callback(context, kRepairItunesState_Finished, &final);
}

void runUninstall(const fs::path& root, ItunesEngineCallback callback, void* context, bool deleteUserData,
                  const bool* stop) {
    const Tree tree(root);
    std::vector<fs::path> failed;
    bool stopped = false;
    // Like an installer, which rolls back what it removed when a file stays in
    // use, the uninstall first looks for files of the installation that are in
    // use: then it fails at once and removes nothing, leaving iTunes whole.
    std::vector<fs::path> inUse;
    if (tree.valid()) {
        for (const ComponentKind& kind : componentKinds()) {
            for (const fs::path& dir : {tree.programFiles() / kind.folder, tree.installerCache() / kind.folder}) {
                if (!entryExists(dir)) continue;
                // Files and links in use, and folders in use that hold nothing
                // (a fuller one is named by what it holds), as the deletion
                // would list them.
                const std::size_t before = inUse.size();
                std::error_code ec;
                for (const fs::path& entry : tree.entriesBelow(dir))
                    if (tree.isInUse(entry) && (!tree.isRealDir(entry) || fs::is_empty(entry, ec)))
                        inUse.push_back(entry);
                if (inUse.size() == before && tree.isInUse(dir)) inUse.push_back(dir);
            }
        }
    }
    if (!inUse.empty()) {
        ST_UNINSTALL_ITUNES_RESULT final;
        final.nErrorCode = kItunesEngineError_FileOccupied;
        for (const fs::path& path : inUse) final.vecOccupiedFile.push_back(toWide(path));
        callback(context, kUninstallItunesState_Finished, &final);
        return;
    }
    if (tree.valid()) {
        for (const ComponentKind& kind : componentKinds()) {
            const fs::path dir = tree.programFiles() / kind.folder;
            const fs::path cache = tree.installerCache() / kind.folder;
            if (!entryExists(dir) && !entryExists(cache)) continue;
            if (stopRequested(stop)) {
                stopped = true;
                break;
            }
            ST_UNINSTALL_ITUNES_RESULT progress;
            progress.strProductName = displayName(kind, readComponentInfo(dir));
            callback(context, kUninstallItunesState_Uninstalling, &progress);
            if (entryExists(dir)) tree.removeTree(dir, &failed);
            if (entryExists(cache)) tree.removeTree(cache, &failed);
            ST_UNINSTALL_ITUNES_RESULT step;
            callback(context, kUninstallItunesState_Step, &step);
        }
        if (deleteUserData && !stopped && entryExists(tree.userData())) {
            // Every file and link is announced just before it goes; the walk
            // deletes relative to folders opened from the root, leaves entries
            // in use and mounts, and lists them.
            RemovalHooks hooks;
            hooks.stopped = [&stopped, stop] {
                if (stopRequested(stop)) stopped = true;
                return stopped;
            };
            hooks.allow = [callback, context](const fs::path& entry, const struct stat& info) {
                if (S_ISDIR(info.st_mode)) return true;
                ST_UNINSTALL_ITUNES_RESULT deleting;
                deleting.strPath = toWide(entry);
                callback(context, kUninstallItunesState_Deleting, &deleting);
                return true;
            };
            tree.removeTree(tree.userData(), &failed, hooks);
        }
    }
    ST_UNINSTALL_ITUNES_RESULT final;
    if (!tree.valid() || stopped) {
        final.nErrorCode = -1;
    } else if (!failed.empty()) {
        final.nErrorCode = kItunesEngineError_FileOccupied;
        for (const fs::path& path : failed) final.vecOccupiedFile.push_back(toWide(path));
    } else {
        final.bSuccess = 1;
    }
    callback(context, kUninstallItunesState_Finished, &final);
}

void runInstall(const fs::path& root, const fs::path& installerDir, ItunesEngineCallback callback, void* context) {
    const Tree tree(root);
    std::map<int, fs::path> packages = findPackages(installerDir);
    // The shared components first, iTunes itself last.
    std::vector<std::pair<int, fs::path>> order(packages.begin(), packages.end());
    std::stable_partition(order.begin(), order.end(),
                          [](const auto& p) { return p.first != kItunesProductType_iTunes; });
    ST_INSTALL_ITUNES_RESULT final;
    final.bSuccess = tree.valid() && !order.empty() ? 1 : 0;
    final.nErrorCode = final.bSuccess ? 0 : -1;
    for (const auto& [product, package] : tree.valid() ? order : decltype(order)()) {
        ST_INSTALL_ITUNES_RESULT progress;
        progress.strInstallerPath = toWide(package);
        callback(context, kInstallItunesState_Installing, &progress);
        const int error = installPackage(tree, *componentKind(product), package);
        if (error != 0 && final.bSuccess) {
            final.bSuccess = 0;
            final.nErrorCode = error;
        }
    }
    if (final.bSuccess) final.strInstallerPath = toWide(installerDir);
    callback(context, kInstallItunesState_Finished, &final);
}

// The log line arguments of a call with an installer folder.
std::string installerCallArgs(const std::wstring& installerDir, ItunesEngineCallback callback, const void* context) {
    return "installerDir=" + logText(installerDir) + " " + logCallbackArgs(callback, context);
}

}  // namespace

void FixItunesMgr::Reserved() { writeCallLog("Reserved"); }

std::wstring FixItunesMgr::GetiTunesVersion() {
    const ScriptedCall call = findScriptedCall("GetiTunesVersion", m_calls.next("GetiTunesVersion"));
    std::wstring version;
    if (call.scripted) {
        version = call.result.toString().toStdWString();
    } else {
        const Tree tree(rootFromEnvironment());
        const ComponentInfo info = readComponentInfo(tree.programFiles() / "iTunes");
        if (tree.valid() && info.present && info.product == kItunesProductType_iTunes) version = toWide(info.version);
    }
    writeCallLog("GetiTunesVersion -> " + logText(version));
    writeOperationLog("GetiTunesVersion -> " + logText(version));
    return version;
}

int FixItunesMgr::GetiTunesVersionBit() {
    const ScriptedCall call = findScriptedCall("GetiTunesVersionBit", m_calls.next("GetiTunesVersionBit"));
    int bit = 0;
    if (call.scripted)
        bit = call.result.toInt();
    else
        bit = is64Bit(Tree(rootFromEnvironment())) ? 1 : 0;
    writeCallLog("GetiTunesVersionBit -> " + std::to_string(bit));
    writeOperationLog("GetiTunesVersionBit -> " + std::to_string(bit));
    return bit;
}

int FixItunesMgr::OpeniTunes() {
    const ScriptedCall call = findScriptedCall("OpeniTunes", m_calls.next("OpeniTunes"));
    int result = 0;
    if (call.scripted) {
        result = call.result.toInt();
    } else {
        // Starts the installation's iTunes program when it is there and runnable.
        const Tree tree(rootFromEnvironment());
        const fs::path program = tree.programFiles() / "iTunes" / kITunesProgram;
        std::error_code ec;
        const auto perms = fs::symlink_status(program, ec).permissions();
        if (tree.isSafe(program) && isRegular(program) && (perms & fs::perms::owner_exec) != fs::perms::none &&
            spawnDetached(program))
            result = 1;
    }
    writeCallLog("OpeniTunes -> " + std::to_string(result));
    writeOperationLog("OpeniTunes -> " + std::to_string(result));
    return result;
}

bool FixItunesMgr::CheckiTunes(ItunesEngineCallback callback, void* context, int reserved) {
    const fs::path root = rootFromEnvironment();
    return startOperation<ST_ITUNES_CHECK_RESULT>(
        m_worker, m_calls, "CheckiTunes", logCallbackArgs(callback, context) + " reserved=" + std::to_string(reserved),
        callback, context, nullptr, true, fillCheck, [root, callback, context] { runCheck(root, callback, context); });
}

bool FixItunesMgr::RepairiTunes(std::wstring installerDir, ItunesEngineCallback callback, void* context) {
    const fs::path root = rootFromEnvironment();
    const fs::path folder = fromWide(installerDir);
    return startOperation<ST_REPAIR_ITUNES_RESULT>(
        m_worker, m_calls, "RepairiTunes", installerCallArgs(installerDir, callback, context), callback, context,
        nullptr, isInstallerFolder(installerDir), fillRepair,
        [root, folder, callback, context] { runRepair(Tree(root), findPackages(folder), callback, context); });
}

bool FixItunesMgr::RepairiTunesDamageComponent(ItunesEngineCallback callback, void* context) {
    const fs::path root = rootFromEnvironment();
    return startOperation<ST_REPAIR_ITUNES_RESULT>(m_worker, m_calls, "RepairiTunesDamageComponent",
                                                   logCallbackArgs(callback, context), callback, context, nullptr, true,
                                                   fillRepair, [root, callback, context] {
                                                       // Without an installer the intact copies in the installer cache
                                                       // serve.
                                                       const Tree tree(root);
                                                       std::map<int, fs::path> packages;
                                                       for (const ComponentKind& kind : componentKinds())
                                                           packages[kind.product] = tree.installerCache() / kind.folder;
                                                       runRepair(tree, packages, callback, context);
                                                   });
}

bool FixItunesMgr::OneKeyUninstall(ItunesEngineCallback callback, void* context, bool deleteUserData, bool* stop) {
    const fs::path root = rootFromEnvironment();
    return startOperation<ST_UNINSTALL_ITUNES_RESULT>(
        m_worker, m_calls, "OneKeyUninstall",
        logCallbackArgs(callback, context) + " deleteUserData=" + logBool(deleteUserData) + " stop=" + logPointer(stop),
        callback, context, stop, true, fillUninstall, [root, callback, context, deleteUserData, stop] {
            runUninstall(root, callback, context, deleteUserData, stop);
        });
}

bool FixItunesMgr::OneKeyInstall(std::wstring installerDir, ItunesEngineCallback callback, void* context) {
    const fs::path root = rootFromEnvironment();
    const fs::path folder = fromWide(installerDir);
    return startOperation<ST_INSTALL_ITUNES_RESULT>(
        m_worker, m_calls, "OneKeyInstall", installerCallArgs(installerDir, callback, context), callback, context,
        nullptr, isInstallerFolder(installerDir), fillInstall,
        [root, folder, callback, context] { runInstall(root, folder, callback, context); });
}

}  // namespace sorvel
