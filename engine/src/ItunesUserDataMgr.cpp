// The user-data manager: the scan of iTunes' user data by category and
// subtype, and its deletion, on the tree or as the script says.
#include <QRegularExpression>
#include <QString>

#include <fstream>
#include <set>

#include "Managers.h"
#include "Scripted.h"

namespace sorvel {

namespace {

struct SubTypeFolder {
    int subType;
    int type;
    const char* folder;  // relative to "User Data"
};

const std::vector<SubTypeFolder>& subTypeFolders() {
    static const std::vector<SubTypeFolder> folders = {
        {kItunesUserDataSubType_Music, kItunesUserDataType_Media, "Media/Music"},
        {kItunesUserDataSubType_Movies, kItunesUserDataType_Media, "Media/Movies"},
        {kItunesUserDataSubType_HomeVideos, kItunesUserDataType_Media, "Media/Home Videos"},
        {kItunesUserDataSubType_TVShows, kItunesUserDataType_Media, "Media/TV Shows"},
        {kItunesUserDataSubType_Podcasts, kItunesUserDataType_Media, "Media/Podcasts"},
        {kItunesUserDataSubType_Audiobooks, kItunesUserDataType_Media, "Media/Audiobooks"},
        {kItunesUserDataSubType_iTunesU, kItunesUserDataType_Media, "Media/iTunes U"},
        {kItunesUserDataSubType_VoiceMemo, kItunesUserDataType_Media, "Media/Voice Memos"},
        {kItunesUserDataSubType_Books, kItunesUserDataType_Media, "Media/Books"},
        {kItunesUserDataSubType_Tones, kItunesUserDataType_Media, "Media/Tones"},
        {kItunesUserDataSubType_Downloads, kItunesUserDataType_Media, "Media/Downloads"},
        {kItunesUserDataSubType_iTunesUpdateFiles, kItunesUserDataType_UpdateFiles, "Updates/iTunes"},
        {kItunesUserDataSubType_iOSUpdateFiles, kItunesUserDataType_UpdateFiles, "Updates/iOS"},
        {kItunesUserDataSubType_MobileApps, kItunesUserDataType_OtherData, "Other/Mobile Applications"},
        {kItunesUserDataSubType_Cache, kItunesUserDataType_OtherData, "Other/Cache"},
        {kItunesUserDataSubType_Cookies, kItunesUserDataType_OtherData, "Other/Cookies"},
        {kItunesUserDataSubType_Logs, kItunesUserDataType_OtherData, "Other/Logs"},
        {kItunesUserDataSubType_OtherJunkFiles, kItunesUserDataType_OtherData, "Other/Junk"},
    };
    return folders;
}

const char* const kBackupFolder = "Backup";  // iTunes' own backups, in "User Data"

int countDirs(const Tree& tree, const fs::path& dir) {
    int count = 0;
    std::error_code ec;
    for (const fs::path& entry : tree.entriesBelow(dir))
        if (fs::symlink_status(entry, ec).type() == fs::file_type::directory) ++count;
    return count;
}

// Bytes of the regular files below `dir` (links count 0 and are never
// entered, nor are other file systems and mounts). Every folder is counted in the live scan counters as soon as it is
// visited, so that a caller polling them sees a large folder being sized. Ends
// early, with what it has, when the stop flag is set.
std::int64_t sizeCounting(const Tree& tree, const fs::path& dir, ST_ITUNES_SCAN_COUNT* count, const bool* stop) {
    std::int64_t total = 0;
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (stopRequested(stop)) break;
        const fs::file_type type = fs::symlink_status(child, ec).type();
        if (type == fs::file_type::directory) {
            __atomic_add_fetch(&count->nCurrentScanDirCount, 1, __ATOMIC_RELAXED);
            if (tree.isOwnDir(child)) total += sizeCounting(tree, child, count, stop);
        } else if (type == fs::file_type::regular) {
            const auto size = fs::file_size(child, ec);
            if (!ec) total += static_cast<std::int64_t>(size);
        }
    }
    return total;
}

struct Backup {
    fs::path folder;
    std::string deviceName;
    std::string time;
    std::int64_t size = 0;
    bool valid = false;
};

// A backup folder holds "BackupInfo.txt" with the lines "Device Name=..." and
// "Last Backup Date=YYYY-MM-DDThh:mm:ssZ"; without a readable date it is not
// usable.
Backup readBackup(const Tree& tree, const fs::path& folder) {
    Backup backup;
    backup.folder = folder;
    backup.size = tree.sizeBelow(folder);
    std::ifstream in(folder / kBackupInfoFile);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "Device Name")
            backup.deviceName = value;
        else if (key == "Last Backup Date")
            backup.time = value;
    }
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z$"));
    backup.valid = iso.match(QString::fromStdString(backup.time)).hasMatch();
    return backup;
}

bool isBackupFolder(const Tree& tree, const fs::path& folder) {
    std::error_code ec;
    return tree.isOwnDir(folder) && fs::symlink_status(folder / kBackupInfoFile, ec).type() == fs::file_type::regular;
}

// Finds backups made by other programs: any folder of the tree outside the
// installation and iTunes' own user data that holds a backup-info file. Other
// file systems and mounts are not searched.
void findOtherBackups(const Tree& tree, const fs::path& dir, const std::set<fs::path>& skip, std::vector<Backup>* found,
                      ST_ITUNES_SCAN_COUNT* count, const bool* stop) {
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (stopRequested(stop)) return;
        if (!tree.isOwnDir(child) || skip.count(child)) continue;
        __atomic_add_fetch(&count->nCurrentScanDirCount, 1, __ATOMIC_RELAXED);
        if (isBackupFolder(tree, child)) {
            found->push_back(readBackup(tree, child));
            __atomic_add_fetch(&count->nCurrentScanDirCount, countDirs(tree, child), __ATOMIC_RELAXED);
            continue;
        }
        findOtherBackups(tree, child, skip, found, count, stop);
    }
}

void fillItem(ST_ITUNES_USERDATA_ITEM& r, const QJsonObject& o) {
    r.type = jsonInt(o, "type");
    r.subType = jsonInt(o, "subType");
    r.size = jsonInt64(o, "size");
    r.categorySize = jsonInt64(o, "categorySize");
    const QJsonObject b = o.value(QStringLiteral("stBackupInfo")).toObject();
    r.stBackupInfo.id = jsonInt(b, "id");
    r.stBackupInfo.strName = jsonWide(b, "strName");
    r.stBackupInfo.strTime = jsonWide(b, "strTime");
    r.stBackupInfo.dirSize = jsonInt64(b, "dirSize");
    r.stBackupInfo.isVaild = static_cast<std::uint8_t>(jsonInt(b, "isVaild"));
}

void fillDelete(ST_DELETE_ITUNES_USERDATA_RESULT& r, const QJsonObject& o) {
    r.llDoneSize = jsonInt64(o, "llDoneSize");
    r.llTotalSize = jsonInt64(o, "llTotalSize");
    r.bSucess = static_cast<std::uint8_t>(jsonInt(o, "bSucess"));
    r.vecOccupiedFile = jsonWideList(o, "vecOccupiedFile");
}

}  // namespace

void ItunesUserDataMgr::setScanCount(int current, int total) {
    __atomic_store_n(&m_scanCount.nDeepScanTotalDirCount, total, __ATOMIC_RELAXED);
    __atomic_store_n(&m_scanCount.nCurrentScanDirCount, current, __ATOMIC_RELAXED);
}

void ItunesUserDataMgr::scan(const fs::path& root, ItunesEngineCallback callback, void* context, bool deep,
                             const bool* stop) {
    const Tree tree(root);
    m_backupFolders.clear();
    setScanCount(0, 0);
    ST_ITUNES_USERDATA_ITEM end;
    end.pScanCount = &m_scanCount;
    if (!tree.valid() || stopRequested(stop)) {
        callback(context, kEnumItunesUserDataState_Enum_End, &end);
        return;
    }

    // The folders to visit: iTunes' user data, and for a deep scan the whole
    // tree but the installation.
    const fs::path userData = tree.userData();
    std::set<fs::path> skip = {tree.programFiles(), tree.installerCache(), userData};
    int total = tree.isRealDir(userData) ? countDirs(tree, userData) : 0;
    if (deep) {
        std::error_code ec;
        for (fs::directory_iterator it(tree.root(), ec), e; !ec && it != e; it.increment(ec))
            if (tree.isOwnDir(it->path()) && !skip.count(it->path())) total += 1 + countDirs(tree, it->path());
    }
    setScanCount(0, std::max(total, 1));

    // Media, update files and other data: one item per subtype, reported as
    // soon as its folder is sized (the counters grow while it is), so that the
    // caller sees the scan move from its first folder on. An item's category
    // size is what its category has come to so far: the category's last item
    // carries the whole.
    bool stopped = false;
    for (int type : {kItunesUserDataType_Media, kItunesUserDataType_UpdateFiles, kItunesUserDataType_OtherData}) {
        std::int64_t categorySize = 0;
        for (const SubTypeFolder& sub : subTypeFolders()) {
            if (sub.type != type) continue;
            const fs::path folder = userData / sub.folder;
            ST_ITUNES_USERDATA_ITEM item;
            item.type = type;
            item.subType = sub.subType;
            item.pScanCount = &m_scanCount;
            if (tree.isRealDir(folder)) item.size = sizeCounting(tree, folder, &m_scanCount, stop);
            if (stopRequested(stop)) {
                stopped = true;
                break;
            }
            categorySize += item.size;
            item.categorySize = categorySize;
            callback(context, kEnumItunesUserDataState_Enum_Item, &item);
        }
        if (stopped) break;
    }

    // iOS backups: iTunes' own, and for a deep scan those of other programs.
    std::vector<Backup> backups;
    if (!stopped) {
        const fs::path backupDir = userData / kBackupFolder;
        if (tree.isRealDir(backupDir)) {
            std::vector<fs::path> children;
            std::error_code ec;
            for (fs::directory_iterator it(backupDir, ec), e; !ec && it != e; it.increment(ec))
                if (tree.isOwnDir(it->path())) children.push_back(it->path());
            std::sort(children.begin(), children.end());
            for (const fs::path& child : children) {
                if (stopRequested(stop)) {
                    stopped = true;
                    break;
                }
                backups.push_back(readBackup(tree, child));
            }
        }
        if (deep && !stopped) {
            findOtherBackups(tree, tree.root(), skip, &backups, &m_scanCount, stop);
            stopped = stopRequested(stop);
        }
    }
    if (!stopped) {
        std::int64_t backupsSize = 0;
        for (const Backup& backup : backups)
            if (backup.valid) backupsSize += backup.size;
        int id = 0;
        for (const Backup& backup : backups) {
            ST_ITUNES_USERDATA_ITEM item;
            item.type = kItunesUserDataType_iOSBackup;
            item.subType = kItunesUserDataSubType_iOSBackup;
            item.size = backupsSize;
            item.categorySize = backupsSize;
            item.pScanCount = &m_scanCount;
            item.stBackupInfo.id = ++id;
            item.stBackupInfo.strName = toWide(backup.deviceName);
            item.stBackupInfo.strTime = toWide(backup.time);
            item.stBackupInfo.dirSize = backup.size;
            item.stBackupInfo.isVaild = backup.valid ? 1 : 0;
            m_backupFolders[id] = backup.folder;
            callback(context, kEnumItunesUserDataState_Enum_Item, &item);
        }
        setScanCount(std::max(total, 1), std::max(total, 1));
    }
    callback(context, kEnumItunesUserDataState_Enum_End, &end);
}

void ItunesUserDataMgr::clean(const fs::path& root, ItunesEngineCallback callback, void* context,
                              const std::vector<int>& subTypes, const std::vector<int>& backupIds, const bool* stop) {
    const Tree tree(root);
    // What to delete: everything inside the chosen subtype folders (the folders
    // stay), and the chosen backup folders with their contents. A folder that is
    // a link, or has one on the way, is not looked into; one that is a mount, or
    // lies on one, is left alone and reported.
    std::vector<fs::path> contents;
    std::vector<fs::path> backups;
    if (tree.valid()) {
        const std::set<int> chosen(subTypes.begin(), subTypes.end());
        std::error_code ec;
        for (const SubTypeFolder& sub : subTypeFolders()) {
            const fs::path folder = tree.userData() / sub.folder;
            if (chosen.count(sub.subType) && fs::symlink_status(folder, ec).type() == fs::file_type::directory)
                contents.push_back(folder);
        }
        for (int id : std::set<int>(backupIds.begin(), backupIds.end())) {
            const auto found = m_backupFolders.find(id);
            if (found != m_backupFolders.end() && tree.isSafe(found->second)) backups.push_back(found->second);
        }
    }

    ST_DELETE_ITUNES_USERDATA_RESULT progress;
    for (const fs::path& folder : contents)
        if (tree.isRealDir(folder)) progress.llTotalSize += tree.sizeBelow(folder);
    for (const fs::path& folder : backups)
        if (tree.isRealDir(folder)) progress.llTotalSize += tree.sizeBelow(folder);

    // Deleted relative to folders opened from the root (never by a path looked
    // at again), entries in use left and listed.
    std::vector<fs::path> occupied;
    bool stopped = false;
    RemovalHooks hooks;
    hooks.stopped = [&stopped, stop] {
        if (stopRequested(stop)) stopped = true;
        return stopped;
    };
    hooks.deleted = [&progress, callback, context](const fs::path&, std::int64_t size) {
        progress.llDoneSize += size;
        callback(context, kDeleteItunesUserDataState_Deleting, &progress);
    };
    for (const fs::path& folder : contents)
        if (!hooks.stopped()) tree.removeContent(folder, &occupied, hooks);
    for (const fs::path& folder : backups)
        if (!hooks.stopped()) tree.removeTree(folder, &occupied, hooks);

    ST_DELETE_ITUNES_USERDATA_RESULT final;
    final.llDoneSize = progress.llDoneSize;
    final.llTotalSize = progress.llTotalSize;
    final.bSucess = tree.valid() && !stopped && occupied.empty() ? 1 : 0;
    for (const fs::path& path : occupied) final.vecOccupiedFile.push_back(toWide(path));
    callback(context, kDeleteItunesUserDataState_DeleteComplete, &final);
}

bool ItunesUserDataMgr::ScaniTunesUserData(ItunesEngineCallback callback, void* context, bool deepScan, bool* stop) {
    const fs::path root = rootFromEnvironment();
    auto fillScanned = [this](ST_ITUNES_USERDATA_ITEM& item, const QJsonObject& fields) {
        fillItem(item, fields);
        const QJsonObject count = fields.value(QStringLiteral("scanCount")).toObject();
        if (!count.isEmpty()) setScanCount(jsonInt(count, "current"), jsonInt(count, "total"));
        item.pScanCount = &m_scanCount;
    };
    return startOperation<ST_ITUNES_USERDATA_ITEM>(
        m_worker, m_calls, "ScaniTunesUserData",
        logCallbackArgs(callback, context) + " deepScan=" + logBool(deepScan) + " stop=" + logPointer(stop), callback,
        context, stop, true, fillScanned,
        [this, root, callback, context, deepScan, stop] { scan(root, callback, context, deepScan, stop); });
}

bool ItunesUserDataMgr::CleaniTuensUserData(ItunesEngineCallback callback, void* context, std::vector<int>* subTypes,
                                            std::vector<int>* backupIds, bool* stop) {
    // The request's lists belong to the caller: copied before this call returns.
    const std::vector<int> chosenSubTypes = subTypes ? *subTypes : std::vector<int>();
    const std::vector<int> chosenBackups = backupIds ? *backupIds : std::vector<int>();
    const fs::path root = rootFromEnvironment();
    return startOperation<ST_DELETE_ITUNES_USERDATA_RESULT>(
        m_worker, m_calls, "CleaniTuensUserData",
        logCallbackArgs(callback, context) + " subTypes=" + logList(subTypes) + " backupIds=" + logList(backupIds) +
            " stop=" + logPointer(stop),
        callback, context, stop, true, fillDelete,
        [this, root, callback, context, chosenSubTypes, chosenBackups, stop] {
            clean(root, callback, context, chosenSubTypes, chosenBackups, stop);
        });
}

}  // namespace sorvel
