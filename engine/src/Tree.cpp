#include "Tree.h"

#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <algorithm>
#include <fstream>

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
    std::ifstream in(m_root / kInUseList);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        m_inUse.push_back((m_root / line).lexically_normal());
    }
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
        if (type != fs::file_type::directory) return false;
    }
    return true;
}

bool Tree::isRealDir(const fs::path& path) const { return isSafe(path) && isDirNoLink(path); }

bool Tree::isInUse(const fs::path& path) const {
    const fs::path normal = path.lexically_normal();
    for (const fs::path& entry : m_inUse)
        if (isUnder(normal, entry)) return true;
    return false;
}

std::vector<fs::path> Tree::entriesBelow(const fs::path& dir) const {
    std::vector<fs::path> result;
    if (!isDirNoLink(dir)) return result;
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) children.push_back(it->path());
    std::sort(children.begin(), children.end());
    for (const fs::path& child : children) {
        if (isDirNoLink(child)) {
            std::vector<fs::path> below = entriesBelow(child);
            result.insert(result.end(), below.begin(), below.end());
        }
        result.push_back(child);
    }
    return result;
}

std::int64_t Tree::sizeBelow(const fs::path& dir) const {
    std::int64_t total = 0;
    for (const fs::path& entry : entriesBelow(dir)) {
        if (!isRegularFile(entry)) continue;
        std::error_code ec;
        const auto size = fs::file_size(entry, ec);
        if (!ec) total += static_cast<std::int64_t>(size);
    }
    return total;
}

bool Tree::removeEntry(const fs::path& path) const {
    if (!isSafe(path) || isInUse(path)) return false;
    std::error_code ec;
    if (fs::symlink_status(path, ec).type() == fs::file_type::not_found) return true;
    // remove() deletes a link itself, never its target.
    fs::remove(path, ec);
    return !ec;
}

bool Tree::removeTree(const fs::path& dir, std::vector<fs::path>* failed) const {
    bool ok = true;
    if (isRealDir(dir)) {
        for (const fs::path& entry : entriesBelow(dir)) {
            if (removeEntry(entry)) continue;
            ok = false;
            // A folder that still holds an undeletable entry is not listed itself.
            std::error_code ec;
            if (isDirNoLink(entry) && !fs::is_empty(entry, ec)) continue;
            if (failed) failed->push_back(entry);
        }
    }
    if (!removeEntry(dir)) {
        std::error_code ec;
        const bool stillFull = isDirNoLink(dir) && !fs::is_empty(dir, ec);
        if (!stillFull && failed) failed->push_back(dir);
        ok = false;
    }
    return ok;
}

bool Tree::copyFile(const fs::path& source, const fs::path& target) const {
    if (!isRegularFile(source) || !isSafe(target) || isInUse(target)) return false;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec || !isRealDir(target.parent_path())) return false;
    const fs::file_type type = fs::symlink_status(target, ec).type();
    if (type == fs::file_type::directory) return false;
    if (type != fs::file_type::not_found) {
        fs::remove(target, ec);  // a file or a link: replaced, a link never followed
        if (ec) return false;
    }
    return fs::copy_file(source, target, ec) && !ec;
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
