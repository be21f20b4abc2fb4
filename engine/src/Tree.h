#pragma once
// The folder tree the engine works on: an iTunes installation and its user
// data under one root folder (layout in engine/README.md), and the few safe
// file operations the engine needs. Every deletion and write stays inside the
// root: the root is opened once, and the engine acts relative to folders opened
// from it component by component (O_NOFOLLOW, on the root's file system), never
// by a path resolved again after a check. Links are removed as links; walks,
// sizes and deletions do not enter another file system or a mount.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sorvel {

namespace fs = std::filesystem;

// Conversions at the engine boundary (file names are UTF-8 on this platform).
std::wstring toWide(const fs::path& path);
std::wstring toWide(const std::string& utf8);
fs::path fromWide(const std::wstring& text);
std::string toUtf8(const std::wstring& text);

// Folders of the tree, relative to the root.
extern const char* const kProgramFiles;    // "Program Files"
extern const char* const kInstallerCache;  // "Installer Cache"
extern const char* const kUserData;        // "User Data"
extern const char* const kInUseList;       // "in-use.txt"
extern const char* const kComponentFile;   // "COMPONENT"
extern const char* const kManifestFile;    // "MANIFEST"
extern const char* const kBackupInfoFile;  // "BackupInfo.txt"

// One Apple component the engine knows.
struct ComponentKind {
    int product;         // eItunesProductType
    const char* folder;  // folder name under "Program Files" and "Installer Cache"
};
const std::vector<ComponentKind>& componentKinds();
const ComponentKind* componentKind(int product);
// The components an installation of this bitness consists of, in check order.
std::vector<int> expectedProducts(bool is64Bit);

// The contents of a COMPONENT file ("key=value" lines).
struct ComponentInfo {
    bool present = false;  // the file exists and names a known product
    int product = 0;
    std::string name;
    std::string version;
    int bits = 0;  // iTunes only: 64 or 32; 0 when not given
};
ComponentInfo readComponentInfo(const fs::path& componentDir);

// A MANIFEST: relative file path -> SHA-1 in lower-case hex. `present` is false
// when the file does not exist or cannot be read.
struct Manifest {
    bool present = false;
    std::map<std::string, std::string> files;
};
Manifest readManifest(const fs::path& componentDir);

// SHA-1 of a regular file (no link followed), lower-case hex; empty when it
// cannot be read.
std::string sha1OfFile(const fs::path& file);

// True when `path` is a regular file (not a link) whose SHA-1 is `sha1`.
bool fileMatches(const fs::path& path, const std::string& sha1);

// What a caller of Tree::removeTree and Tree::removeContent may add to the
// deletion: `allow` is asked just before each entry is deleted (a folder after
// its content) and may keep it; `deleted` hears of each file or link deleted,
// with the size it had. `stopped` ends the work: once it answers true nothing
// more is deleted and no more failures are noted.
struct RemovalHooks {
    std::function<bool(const fs::path& path, const struct stat& info)> allow;
    std::function<void(const fs::path& path, std::int64_t size)> deleted;
    std::function<bool()> stopped;
};

// The tree's root, made absolute and free of links once, and opened, at the
// start of an operation.
class Tree {
public:
    explicit Tree(const fs::path& root);
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    const fs::path& root() const { return m_root; }
    bool valid() const { return m_valid; }
    fs::path programFiles() const { return m_root / kProgramFiles; }
    fs::path installerCache() const { return m_root / kInstallerCache; }
    fs::path userData() const { return m_root / kUserData; }

    // True when `path` lies inside the root and every folder between the root
    // and `path` (the last element excluded) is a real folder, not a link, on
    // the root's file system and not a mount. Only such paths are ever changed.
    bool isSafe(const fs::path& path) const;
    // isSafe() and `path` itself is such a folder: safe to look into.
    bool isRealDir(const fs::path& path) const;
    // `path` itself is a real folder on the root's file system and not the root
    // of a mount (its parents are not looked at): a walk may enter it.
    bool isOwnDir(const fs::path& path) const;

    // The files and folders the in-use list names (files held open by running
    // programs): such entries cannot be deleted or replaced.
    bool isInUse(const fs::path& path) const;

    // Every entry below `dir` (not `dir` itself), children before their folder:
    // the order in which they can be deleted. Links are listed, never entered;
    // a folder on another file system than `dir`, or a mount, is listed but
    // not entered.
    static std::vector<fs::path> entriesBelow(const fs::path& dir);
    // Bytes of the regular files below `dir`; links count 0, mounts are not
    // entered.
    static std::int64_t sizeBelow(const fs::path& dir);

    // Deletes one entry (a file, a link as a link, or an empty folder). False
    // when it is in use, not safe, or the deletion failed. A missing entry counts
    // as deleted.
    bool removeEntry(const fs::path& path) const;
    // Deletes `dir` with everything below it; the entries that could not be
    // deleted (in use, a mount, ...) are appended to `failed`, a folder only when
    // nothing in it failed. True when nothing failed.
    bool removeTree(const fs::path& dir, std::vector<fs::path>* failed,
                    const RemovalHooks& hooks = RemovalHooks()) const;
    // Deletes what is below `dir`, which stays; failures as for removeTree.
    bool removeContent(const fs::path& dir, std::vector<fs::path>* failed,
                       const RemovalHooks& hooks = RemovalHooks()) const;

    // Copies the regular files of `sourceDir` (outside or inside the root) into
    // `targetDir` (inside the root), replacing what is there; links in the
    // source are skipped. Files that could not be written go to `failed`.
    bool copyTree(const fs::path& sourceDir, const fs::path& targetDir, std::vector<fs::path>* failed) const;
    // Copies one file into the tree, replacing a file or link at `target`.
    bool copyFile(const fs::path& source, const fs::path& target) const;

private:
    // How openDir ended: opened; missing; the entry is a link or a file; it,
    // or a folder on the way, is another file system or a mount; refused
    // (outside the root, a link or a file on the way).
    enum class Opened { Folder, Missing, NotAFolder, OtherFileSystem, Refused };
    // Opens `dir` (the root or a folder inside it) by walking down from the
    // open root; -1 when it is missing or cannot be entered safely.
    int openDir(const fs::path& dir, Opened* how) const;
    // Opens the folder `dir` inside the root, making the folders on the way.
    int makeDirs(const fs::path& dir) const;
    bool relativeParts(const fs::path& path, std::vector<std::string>* parts) const;
    bool walkContent(int dirFd, const fs::path& dir, std::vector<fs::path>* failed, const RemovalHooks& hooks) const;

    fs::path m_root;
    bool m_valid = false;
    int m_rootFd = -1;
    dev_t m_device = 0;
    std::vector<fs::path> m_inUse;
};

}  // namespace sorvel
