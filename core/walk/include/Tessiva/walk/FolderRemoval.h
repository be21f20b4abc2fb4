#pragma once

// The walk of CFileOperator::RemoveDir: deletes everything inside one folder.
// Built as a static library of its own (TessivaWalk) so that the program's
// installer-folder removal and the stand-in engine delete with the same walk;
// nothing of it is exported by libTessiva.so.

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "Tessiva/FileOperator.h"

namespace tessiva {

// Deletes the content of a folder, depth first, reporting each entry it tried to
// delete (a folder after everything in it) to the caller's callback.
//
// The walk goes from folder handle to folder handle and opens nothing through a
// symbolic link, so a link in the tree, or one put there while the walk runs, is
// never followed. It holds at most three descriptors at any time, however deep
// the tree: going down it closes the parent's handle, and coming back up it opens
// the child's ".." and checks (device and inode) that this is the folder it came
// from; when it is not (the tree was moved meanwhile) the walk stops. It never
// descends into another file system: a folder on another device, or the root of
// a mount (a bind mount of the same file system included), is reported as not
// deleted and its content is left alone.
class FolderRemoval {
public:
    // Asked, with the entry's path and its lstat information, just before a file
    // or link is deleted and before an emptied folder is removed: false keeps
    // the entry, which is then reported as not deleted.
    typedef bool (*Filter)(const std::wstring& path, const struct stat& info, void* user);

    FolderRemoval(KSB::CFileOperator::RemoveDirCallback callback, void* user);

    void setFilter(Filter filter, void* user);
    // RemoveDir keeps read-only files (owner-write bit clear), as the library's
    // callers expect; other users of the walk delete them like any file.
    void setRemovesReadOnlyFiles(bool removes);

    // Deletes the content of the folder open as folderFd (the walk takes the
    // descriptor and closes it); path is the folder's name in the callbacks.
    void removeContent(int folderFd, const std::wstring& path);

private:
    struct Identity {
        dev_t device;
        ino_t inode;
        bool operator==(const Identity& other) const { return device == other.device && inode == other.inode; }
    };
    struct Entry {
        std::string name;
        bool isDirectory;
    };
    // One folder on the way down: its entries not yet visited, its identity,
    // its name in its parent and the length of its path in m_path.
    struct Level {
        std::vector<Entry> entries;
        size_t next;
        Identity identity;
        std::string name;
        size_t pathLength;
    };
    enum class Descent { Entered, NotOpened, OtherFileSystem, NoWayBack };

    void visitNext(Level& level);
    bool removeFile(const std::string& name, const std::wstring& path) const;
    bool removeFolder(const std::string& name, const std::wstring& path) const;
    void leaveLevel();
    Descent enterFolder(const std::string& name, const Identity& parent, int* childFd, Identity* identity) const;
    void abandonWalk();
    void report(const std::wstring& path, bool success, KSB::CFileOperator::SE_FILE_ATTRIBUTE kind) const;

    static bool identityOf(int fd, Identity* identity);
    static std::vector<Entry> listEntries(int fd);

    KSB::CFileOperator::RemoveDirCallback m_callback;
    void* m_user;
    Filter m_filter;
    void* m_filterUser;
    bool m_removesReadOnlyFiles;
    // The folder the walk stands in, and its path.
    int m_fd;
    std::wstring m_path;
    // The device of the folder the walk started from.
    dev_t m_device;
    std::vector<Level> m_levels;
};

// True when the entry statx describes is not on device, or is the root of a
// mount: a bind mount of a folder of the same file system has the same device,
// and only the mount-root attribute tells it apart.
bool isOtherFileSystem(const struct statx& info, dev_t device);
// The same for the folder open as fd. A folder that cannot be asked counts as
// another file system, so a walk stays out of it.
bool isOtherFileSystem(int fd, dev_t device);

// Deletes the entry name of the folder open as dirFd unless it is a folder or a
// read-only file (owner-write bit clear); a symbolic link is deleted itself.
bool removeFileAt(int dirFd, const char* name);

}  // namespace tessiva
