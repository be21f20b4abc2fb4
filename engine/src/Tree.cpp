#include "Tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "Tessiva/walk/FolderRemoval.h"
#include "Tessiva/walk/NativePath.h"

namespace sorvel {

const char* const kProgramFiles = "Program Files";
const char* const kInstallerCache = "Installer Cache";
const char* const kUserData = "User Data";
const char* const kInUseList = "in-use.txt";
const char* const kComponentFile = "COMPONENT";
const char* const kManifestFile = "MANIFEST";
const char* const kBackupInfoFile = "BackupInfo.txt";

std::wstring toWide(const fs::path& path) { return QString::fromStdString(path.string()).toStdWString(); }

std::wstring toWide(const std::string& utf8) { return QString::fromStdString(utf8).toStdWString(); }

fs::path fromWide(const std::wstring& text) { return fs::path(QString::fromStdWString(text).toStdString()); }

std::string toUtf8(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }

const std::vector<ComponentKind>& componentKinds() {
    static const std::vector<ComponentKind> kinds = {
        {1, "iTunes"},  {2, "Apple Software Update"},     {3, "Apple Mobile Device Support"},
        {4, "Bonjour"}, {5, "Apple Application Support"}, {6, "Apple Application Support64"},
    };
    return kinds;
}

const ComponentKind* componentKind(int product) {
    for (const ComponentKind& kind : componentKinds())
        if (kind.product == product) return &kind;
    return nullptr;
}

std::vector<int> expectedProducts(bool is64Bit) {
    // A 64-bit iTunes needs all six components; a 32-bit one neither the 64-bit
    // application support nor the software updater.
    if (is64Bit) return {1, 2, 3, 4, 5, 6};
    return {1, 3, 4, 5};
}

namespace {

std::string trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    const auto end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

bool isDirNoLink(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::directory;
}

bool isUnder(const fs::path& path, const fs::path& base) {
    auto p = path.begin();
    for (auto b = base.begin(); b != base.end(); ++b, ++p) {
        if (b->empty()) continue;  // a trailing separator of `base`
        if (p == path.end() || *p != *b) return false;
    }
    return true;
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A real folder (not a link) on `device` that is not the root of a mount.
bool isFolderOn(const fs::path& path, dev_t device) {
    struct statx info;
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0) return false;
    return S_ISDIR(info.stx_mode) && !tessiva::isOtherFileSystem(info, device);
}

fs::path withoutTrailingSeparator(const fs::path& path) {
    const fs::path normal = path.lexically_normal();
    return normal.has_filename() || !normal.has_parent_path() ? normal : normal.parent_path();
}

void collectBelow(const fs::path& dir, dev_t device, std::vector<fs::path>* result) {
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (isFolderOn(child, device)) collectBelow(child, device, result);
        result->push_back(child);
    }
}

bool writeAll(int fd, const char* data, ssize_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, data, static_cast<size_t>(length));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        length -= written;
    }
    return true;
}

bool copyBytes(int in, int out) {
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        if (!writeAll(out, buffer, got)) return false;
    }
}

// Replaces the entry `name` of the open folder dirFd (a file or a link, never a
// folder) by a new file with the content of `in`. The new file is made with
// O_EXCL|O_NOFOLLOW in that folder, so nothing put there meanwhile is written
// through.
bool replaceFileAt(int dirFd, const std::string& name, int in, mode_t mode) {
    struct stat info;
    if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode) || unlinkat(dirFd, name.c_str(), 0) != 0) return false;
    } else if (errno != ENOENT) {
        return false;
    }
    const int out = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) return false;
    bool ok = copyBytes(in, out) && fchmod(out, mode) == 0;
    ok = close(out) == 0 && ok;
    return ok;
}

// The deletion of one Tree::removeContent: the core library's walk, with the
// engine's in-use list, the caller's hooks and its failure list.
struct Removal {
    const Tree* tree;
    const RemovalHooks* hooks;
    std::vector<fs::path>* failed;
    bool ok = true;
    bool stopped = false;
    std::int64_t size = 0;  // of the file being deleted

    static fs::path pathOf(const std::wstring& path) { return fs::path(tessiva::wideToNative(path)); }

    static bool filter(const std::wstring& path, const struct stat& info, void* user) {
        Removal& self = *static_cast<Removal*>(user);
        if (self.stopped || (self.hooks->stopped && self.hooks->stopped())) {
            self.stopped = true;
            return false;
        }
        const fs::path entry = pathOf(path);
        if (self.hooks->allow && !self.hooks->allow(entry, info)) return false;
        if (self.tree->isInUse(entry)) return false;
        self.size = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : 0;
        return true;
    }

    static void report(std::wstring path, bool success, KSB::CFileOperator::SE_FILE_ATTRIBUTE kind, void* user) {
        Removal& self = *static_cast<Removal*>(user);
        const fs::path entry = pathOf(path);
        const bool isFolder = kind == KSB::CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY;
        if (success) {
            if (!isFolder && self.hooks->deleted) self.hooks->deleted(entry, self.size);
            return;
        }
        self.ok = false;
        if (self.stopped) return;
        // A folder that still holds an entry that failed is not listed itself:
        // failures inside it came last.
        if (isFolder && !self.failed->empty() && self.failed->back() != entry && isUnder(self.failed->back(), entry))
            return;
        self.failed->push_back(entry);
    }
};

}  // namespace

ComponentInfo readComponentInfo(const fs::path& componentDir) {
    ComponentInfo info;
    const fs::path file = componentDir / kComponentFile;
    if (!isRegularFile(file)) return info;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (key == "product")
            info.product = std::atoi(value.c_str());
        else if (key == "name")
            info.name = value;
        else if (key == "version")
            info.version = value;
        else if (key == "bits")
            info.bits = std::atoi(value.c_str());
    }
    info.present = componentKind(info.product) != nullptr;
    return info;
}

Manifest readManifest(const fs::path& componentDir) {
    Manifest manifest;
    const fs::path file = componentDir / kManifestFile;
    if (!isRegularFile(file)) return manifest;
    std::ifstream in(file);
    if (!in) return manifest;
    manifest.present = true;
    std::string line;
    while (std::getline(in, line)) {
        // The format of `sha1sum`: 40 hex digits, two blanks (or blank and '*'),
        // the path relative to the component folder.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 43 || line[40] != ' ') continue;
        std::string digest = line.substr(0, 40);
        std::transform(digest.begin(), digest.end(), digest.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string relative = line.substr(42);
        // A path that climbs out of the component folder is not a file of it.
        const fs::path normal = fs::path(relative).lexically_normal();
        if (normal.is_absolute() || normal.empty() || *normal.begin() == "..") continue;
        manifest.files[normal.generic_string()] = digest;
    }
    return manifest;
}

std::string sha1OfFile(const fs::path& file) {
    if (!isRegularFile(file)) return std::string();
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) return std::string();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&in)) return std::string();
    return hash.result().toHex().toStdString();
}

bool fileMatches(const fs::path& path, const std::string& sha1) {
    const std::string actual = sha1OfFile(path);
    return !actual.empty() && actual == sha1;
}

Tree::Tree(const fs::path& root) {
    std::error_code ec;
    m_root = fs::weakly_canonical(fs::absolute(root, ec), ec);
    m_valid = !ec && isDirNoLink(m_root);
    if (!m_valid) return;
    // Opened once: every change is made relative to folders opened from here.
    m_rootFd = open(m_root.c_str(), kFolderFlags);
    struct stat info;
    m_valid = m_rootFd >= 0 && fstat(m_rootFd, &info) == 0;
    if (!m_valid) return;
    m_device = info.st_dev;
    std::ifstream in(m_root / kInUseList);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        m_inUse.push_back((m_root / line).lexically_normal());
    }
}

Tree::~Tree() {
    if (m_rootFd >= 0) close(m_rootFd);
}

bool Tree::isSafe(const fs::path& path) const {
    if (!m_valid) return false;
    const fs::path normal = path.lexically_normal();
    if (!isUnder(normal, m_root)) return false;
    const fs::path relative = normal.lexically_relative(m_root);
    if (relative.empty() || relative == "." || *relative.begin() == "..") return false;
    // Every folder between the root and the entry must be a real folder: a link
    // among them would lead out of the root.
    fs::path current = m_root;
    auto last = relative.end();
    --last;
    for (auto it = relative.begin(); it != last; ++it) {
        current /= *it;
        std::error_code ec;
        const fs::file_type type = fs::symlink_status(current, ec).type();
        if (type == fs::file_type::not_found) return true;  // nothing below exists yet
        if (type != fs::file_type::directory || !isFolderOn(current, m_device)) return false;
    }
    return true;
}

bool Tree::isRealDir(const fs::path& path) const { return isSafe(path) && isOwnDir(path); }

bool Tree::isOwnDir(const fs::path& path) const { return m_valid && isFolderOn(path, m_device); }

bool Tree::isInUse(const fs::path& path) const {
    const fs::path normal = path.lexically_normal();
    for (const fs::path& entry : m_inUse)
        if (isUnder(normal, entry)) return true;
    return false;
}

std::vector<fs::path> Tree::entriesBelow(const fs::path& dir) {
    std::vector<fs::path> result;
    struct stat info;
    if (lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return result;
    collectBelow(dir, info.st_dev, &result);
    return result;
}

std::int64_t Tree::sizeBelow(const fs::path& dir) {
    std::int64_t total = 0;
    for (const fs::path& entry : entriesBelow(dir)) {
        if (!isRegularFile(entry)) continue;
        std::error_code ec;
        const auto size = fs::file_size(entry, ec);
        if (!ec) total += static_cast<std::int64_t>(size);
    }
    return total;
}

bool Tree::relativeParts(const fs::path& path, std::vector<std::string>* parts) const {
    const fs::path normal = withoutTrailingSeparator(path);
    if (!isUnder(normal, m_root)) return false;
    const fs::path relative = normal.lexically_relative(m_root);
    if (relative.empty()) return false;
    for (const fs::path& part : relative) {
        if (part == "..") return false;
        if (part.empty() || part == ".") continue;
        parts->push_back(part.string());
    }
    return true;
}

int Tree::openDir(const fs::path& dir, Opened* how) const {
    *how = Opened::Refused;
    std::vector<std::string> parts;
    if (!m_valid || !relativeParts(dir, &parts)) return -1;
    int fd = fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
    for (std::size_t i = 0; fd >= 0 && i < parts.size(); ++i) {
        const int next = openat(fd, parts[i].c_str(), kFolderFlags);
        const int error = errno;
        close(fd);
        fd = next;
        if (fd < 0) {
            if (error == ENOENT) *how = Opened::Missing;
            // The last part is a link or a file: there is no folder to look into.
            if ((error == ELOOP || error == ENOTDIR) && i + 1 == parts.size()) *how = Opened::NotAFolder;
            return -1;
        }
        if (tessiva::isOtherFileSystem(fd, m_device)) {
            close(fd);
            // A mount at the folder or on the way: what was asked for lies on it.
            *how = Opened::OtherFileSystem;
            return -1;
        }
    }
    if (fd >= 0) *how = Opened::Folder;
    return fd;
}

int Tree::makeDirs(const fs::path& dir) const {
    std::vector<std::string> parts;
    if (!m_valid || !relativeParts(dir, &parts)) return -1;
    int fd = fcntl(m_rootFd, F_DUPFD_CLOEXEC, 0);
    for (const std::string& part : parts) {
        if (fd < 0) return -1;
        mkdirat(fd, part.c_str(), 0777);  // an existing one is opened below
        const int next = openat(fd, part.c_str(), kFolderFlags);
        close(fd);
        fd = next;
        if (fd >= 0 && tessiva::isOtherFileSystem(fd, m_device)) {
            close(fd);
            fd = -1;
        }
    }
    return fd;
}

bool Tree::removeEntry(const fs::path& path) const {
    const fs::path entry = withoutTrailingSeparator(path);
    if (!isSafe(entry) || isInUse(entry)) return false;
    Opened how;
    const int dirFd = openDir(entry.parent_path(), &how);
    if (dirFd < 0) return how == Opened::Missing;  // no folder on the way: the entry is not there either
    const std::string name = entry.filename().string();
    struct stat info;
    bool ok;
    if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        ok = errno == ENOENT;
    else  // by name in its open folder: a link is deleted itself, never its target
        ok = unlinkat(dirFd, name.c_str(), S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0) == 0;
    close(dirFd);
    return ok;
}

bool Tree::walkContent(int dirFd, const fs::path& dir, std::vector<fs::path>* failed, const RemovalHooks& hooks) const {
    Removal removal{this, &hooks, failed};
    tessiva::FolderRemoval walk(&Removal::report, &removal);
    walk.setFilter(&Removal::filter, &removal);
    walk.setRemovesReadOnlyFiles(true);
    walk.removeContent(dirFd, tessiva::nativeToWide(withoutTrailingSeparator(dir).string()));
    return removal.ok;
}

bool Tree::removeContent(const fs::path& dir, std::vector<fs::path>* failed, const RemovalHooks& hooks) const {
    std::vector<fs::path> local;
    if (failed == nullptr) failed = &local;
    // openDir walks down from the root itself: a link on the way refuses, a
    // mount on the way is reported.
    Opened how;
    const int fd = openDir(dir, &how);
    switch (how) {
    case Opened::Folder: return walkContent(fd, dir, failed, hooks);
    case Opened::Missing:
    case Opened::NotAFolder: return true;  // nothing below it
    case Opened::OtherFileSystem:
        // A mount is left alone, and reported as not deleted.
        failed->push_back(withoutTrailingSeparator(dir));
        return false;
    case Opened::Refused: break;
    }
    return false;
}

bool Tree::removeTree(const fs::path& dir, std::vector<fs::path>* failed, const RemovalHooks& hooks) const {
    std::vector<fs::path> local;
    if (failed == nullptr) failed = &local;
    const std::size_t before = failed->size();
    const bool ok = removeContent(dir, failed, hooks);
    if (hooks.stopped && hooks.stopped()) return false;
    // A folder that still holds an entry that failed is not listed itself.
    if (failed->size() != before) return false;
    if (removeEntry(dir)) return ok;
    failed->push_back(withoutTrailingSeparator(dir));
    return false;
}

bool Tree::copyFile(const fs::path& source, const fs::path& target) const {
    const fs::path entry = withoutTrailingSeparator(target);
    if (!isSafe(entry) || isInUse(entry) || !entry.has_filename()) return false;
    const int in = open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    struct stat info;
    bool ok = fstat(in, &info) == 0 && S_ISREG(info.st_mode);
    const int dirFd = ok ? makeDirs(entry.parent_path()) : -1;
    ok = ok && dirFd >= 0 && replaceFileAt(dirFd, entry.filename().string(), in, info.st_mode & 07777);
    if (dirFd >= 0) close(dirFd);
    close(in);
    return ok;
}

bool Tree::copyTree(const fs::path& sourceDir, const fs::path& targetDir, std::vector<fs::path>* failed) const {
    if (!isDirNoLink(sourceDir)) return false;
    bool ok = true;
    for (const fs::path& entry : entriesBelow(sourceDir)) {
        if (!isRegularFile(entry)) continue;
        const fs::path target = targetDir / entry.lexically_relative(sourceDir);
        if (!copyFile(entry, target)) {
            ok = false;
            if (failed) failed->push_back(target);
        }
    }
    return ok;
}

}  // namespace sorvel
