#include "Tessiva/walk/FolderRemoval.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "Tessiva/walk/NativePath.h"

namespace tessiva {

using KSB::CFileOperator;

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

bool isReadOnlyFile(const struct stat& info) {
    return !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

}  // namespace

bool removeFileAt(int dirFd, const char* name) {
    struct stat info;
    if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(info.st_mode) || isReadOnlyFile(info)) return false;
    return unlinkat(dirFd, name, 0) == 0;
}

FolderRemoval::FolderRemoval(CFileOperator::RemoveDirCallback callback, void* user)
    : m_callback(callback),
      m_user(user),
      m_filter(nullptr),
      m_filterUser(nullptr),
      m_removesReadOnlyFiles(false),
      m_fd(-1),
      m_device(0) {}

void FolderRemoval::setFilter(Filter filter, void* user) {
    m_filter = filter;
    m_filterUser = user;
}

void FolderRemoval::setRemovesReadOnlyFiles(bool removes) { m_removesReadOnlyFiles = removes; }

void FolderRemoval::removeContent(int folderFd, const std::wstring& path) {
    m_fd = folderFd;
    m_path = path;
    Identity top;
    if (!identityOf(m_fd, &top)) {
        close(m_fd);
        return;
    }
    m_device = top.device;
    m_levels.push_back({listEntries(m_fd), 0, top, std::string(), path.size()});
    while (!m_levels.empty()) {
        Level& level = m_levels.back();
        if (level.next < level.entries.size()) {
            visitNext(level);
        } else if (m_levels.size() > 1) {
            leaveLevel();
        } else {
            close(m_fd);
            m_levels.clear();
        }
    }
}

// Deletes the level's next entry: a file at once, a folder by going down into it
// (it is then deleted and reported when the walk comes back up).
void FolderRemoval::visitNext(Level& level) {
    const Entry entry = level.entries[level.next++];
    const std::wstring child = m_path + L"/" + nativeToWide(entry.name);
    if (!entry.isDirectory) {
        report(child, removeFile(entry.name, child), CFileOperator::SE_FILE_ATTRIBUTE_FILE);
        return;
    }
    int childFd = -1;
    Identity identity;
    switch (enterFolder(entry.name, level.identity, &childFd, &identity)) {
    case Descent::Entered: {
        std::vector<Entry> entries = listEntries(childFd);
        close(m_fd);
        m_fd = childFd;
        m_path = child;
        // Last use of level: the push may move it.
        m_levels.push_back({std::move(entries), 0, identity, entry.name, child.size()});
        return;
    }
    case Descent::NoWayBack:
        // Its content cannot be walked; an empty folder can still be removed.
        report(child, removeFolder(entry.name, child), CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY);
        return;
    case Descent::NotOpened:
    case Descent::OtherFileSystem: report(child, false, CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY); return;
    }
}

// Back up from the emptied folder to its parent through "..", which must be the
// folder the walk came down from, then removes the folder.
void FolderRemoval::leaveLevel() {
    const Identity& expected = m_levels[m_levels.size() - 2].identity;
    const int parentFd = openat(m_fd, "..", kFolderFlags);
    Identity found;
    if (parentFd < 0 || !identityOf(parentFd, &found) || !(found == expected)) {
        if (parentFd >= 0) close(parentFd);
        abandonWalk();
        return;
    }
    close(m_fd);
    m_fd = parentFd;
    const std::string name = m_levels.back().name;
    const std::wstring path = m_path;
    m_levels.pop_back();
    m_path.resize(m_levels.back().pathLength);
    report(path, removeFolder(name, path), CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY);
}

// Deletes the file or link name of the current folder (by name in the open
// folder, so a link is deleted itself): not when it has become a folder.
bool FolderRemoval::removeFile(const std::string& name, const std::wstring& path) const {
    if (m_filter == nullptr && !m_removesReadOnlyFiles) return removeFileAt(m_fd, name.c_str());
    struct stat info;
    if (fstatat(m_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode)) return false;
    if (!m_removesReadOnlyFiles && isReadOnlyFile(info)) return false;
    if (m_filter != nullptr && !m_filter(path, info, m_filterUser)) return false;
    return unlinkat(m_fd, name.c_str(), 0) == 0;
}

// Removes the (emptied) folder name of the current folder; rmdir never follows
// a link that took its place.
bool FolderRemoval::removeFolder(const std::string& name, const std::wstring& path) const {
    if (m_filter != nullptr) {
        struct stat info;
        if (fstatat(m_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
        if (!m_filter(path, info, m_filterUser)) return false;
    }
    return unlinkat(m_fd, name.c_str(), AT_REMOVEDIR) == 0;
}

// Opens the folder name of the current folder for the walk. It is entered only
// when it is on the same file system and its ".." leads back to parent, so that
// the walk can return without keeping the parent open.
FolderRemoval::Descent FolderRemoval::enterFolder(const std::string& name, const Identity& parent, int* childFd,
                                                  Identity* identity) const {
    const int fd = openat(m_fd, name.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0) return Descent::NotOpened;
    if (!identityOf(fd, identity)) {
        close(fd);
        return Descent::NotOpened;
    }
    if (isOtherFileSystem(fd, m_device)) {
        close(fd);
        return Descent::OtherFileSystem;
    }
    const int back = openat(fd, "..", kFolderFlags);
    Identity backIdentity;
    const bool wayBack = back >= 0 && identityOf(back, &backIdentity) && backIdentity == parent;
    if (back >= 0) close(back);
    if (!wayBack) {
        close(fd);
        return Descent::NoWayBack;
    }
    *childFd = fd;
    return Descent::Entered;
}

bool isOtherFileSystem(const struct statx& info, dev_t device) {
    if (makedev(info.stx_dev_major, info.stx_dev_minor) != device) return true;
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

bool isOtherFileSystem(int fd, dev_t device) {
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0) return true;
    return isOtherFileSystem(info, device);
}

// The walk cannot go back up: every folder on the way down stays (reported as
// not deleted, innermost first) and the walk ends.
void FolderRemoval::abandonWalk() {
    close(m_fd);
    m_fd = -1;
    while (m_levels.size() > 1) {
        report(m_path, false, CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY);
        m_levels.pop_back();
        m_path.resize(m_levels.back().pathLength);
    }
    m_levels.clear();
}

void FolderRemoval::report(const std::wstring& path, bool success, CFileOperator::SE_FILE_ATTRIBUTE kind) const {
    if (m_callback != nullptr) m_callback(path, success, kind, m_user);
}

bool FolderRemoval::identityOf(int fd, Identity* identity) {
    struct stat info;
    if (fstat(fd, &info) != 0) return false;
    *identity = {info.st_dev, info.st_ino};
    return true;
}

// Names of the folder's entries, "." and ".." left out; a symbolic link counts as
// a file whatever it points to. Reads through a second descriptor, which it
// closes, so that fd stays open.
std::vector<FolderRemoval::Entry> FolderRemoval::listEntries(int fd) {
    std::vector<Entry> entries;
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return entries;
    DIR* dir = fdopendir(copy);
    if (dir == nullptr) {
        close(copy);
        return entries;
    }
    while (const struct dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            isDirectory = fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({name, isDirectory});
    }
    closedir(dir);
    // By name, so that the walk's order (and its reports) is the same every time.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

}  // namespace tessiva
