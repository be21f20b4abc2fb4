#include "Tessiva/FileOperator.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "NativePath.h"

namespace KSB {

namespace {

constexpr int kLineBufferSize = 10240;

bool isSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// fopen's mode from the wide mode text: "t" (text mode) means nothing here, and a
// ",ccs=..." encoding suffix is not supported by this platform's fopen.
std::string nativeMode(const std::wstring& mode) {
    std::string result;
    for (const wchar_t c : mode) {
        if (c == L',') break;
        if (c == L't' || c < 0x20 || c > 0x7e) continue;
        result += static_cast<char>(c);
    }
    return result;
}

// The last part of a path: the text after its last "/" (a trailing separator
// has been cut by the caller).
std::wstring lastPart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'/');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Paths RemoveDir must never walk: nothing, the root, the current or the
// parent folder, or any path that ends in one of these.
bool isRefusedFolder(const std::wstring& folder) {
    const std::wstring last = lastPart(folder);
    return last.empty() || last == L"." || last == L"..";
}

// Whether the file system entry is read-only in this library's sense: not a
// folder, not a symbolic link, and its owner-write bit is clear.
bool isReadOnlyFile(const struct stat& info) {
    return !S_ISDIR(info.st_mode) && !S_ISLNK(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

struct DirEntry {
    std::string name;
    bool isDirectory;
};

// Names of the folder's entries, "." and ".." left out; a symbolic link counts as
// a file whatever it points to.
std::vector<DirEntry> listEntries(DIR* dir) {
    std::vector<DirEntry> entries;
    const int fd = dirfd(dir);
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
    return entries;
}

// Deletes the entry name of the folder open as dirFd unless it is a folder or
// read-only; a symbolic link is deleted itself.
bool removeFileAt(int dirFd, const char* name) {
    struct stat info;
    if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(info.st_mode) || isReadOnlyFile(info)) return false;
    return unlinkat(dirFd, name, 0) == 0;
}

// Deletes the folder name of the folder open as parentFd (AT_FDCWD: name is a
// path) with everything in it; path is how the callback names it. The walk goes
// from folder handle to folder handle and opens nothing through a symbolic link,
// so a link in the tree, or one put there while the walk runs, is never followed.
bool removeFolderAt(int parentFd, const std::string& name, const std::wstring& path,
                    CFileOperator::RemoveDirCallback callback, void* user) {
    const int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return false;
    }
    const std::vector<DirEntry> entries = listEntries(dir);
    for (const DirEntry& entry : entries) {
        const std::wstring child = path + L"/" + tessiva::nativeToWide(entry.name);
        const bool removed = entry.isDirectory ? removeFolderAt(fd, entry.name, child, callback, user)
                                               : removeFileAt(fd, entry.name.c_str());
        if (callback != nullptr) {
            callback(
                child, removed,
                entry.isDirectory ? CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY : CFileOperator::SE_FILE_ATTRIBUTE_FILE,
                user);
        }
    }
    closedir(dir);
    return unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

}  // namespace

CFileOperator::CFileOperator() : m_pFile(nullptr) {}

// A copy never takes over the stream: two owners would each close it.
CFileOperator::CFileOperator(const CFileOperator&) : m_pFile(nullptr) {}

CFileOperator& CFileOperator::operator=(const CFileOperator& other) {
    if (this != &other) CloseFile();
    return *this;
}

CFileOperator::~CFileOperator() { CloseFile(); }

bool CFileOperator::OpenFile(std::wstring path, std::wstring mode) {
    CloseFile();
    m_pFile = std::fopen(tessiva::wideToNative(path).c_str(), nativeMode(mode).c_str());
    return m_pFile != nullptr;
}

bool CFileOperator::ReadByte(void* buffer, uint64_t length) {
    if (buffer == nullptr || length == 0 || m_pFile == nullptr) return false;
    return std::fread(buffer, static_cast<size_t>(length), 1, m_pFile) == 1;
}

bool CFileOperator::WriteByte(const void* data, uint64_t length) {
    if (data == nullptr || length == 0 || m_pFile == nullptr) return false;
    return std::fwrite(data, static_cast<size_t>(length), 1, m_pFile) == 1;
}

bool CFileOperator::ReadLine(std::string& line) {
    line.clear();
    if (m_pFile == nullptr) return false;
    char buffer[kLineBufferSize];
    if (std::fgets(buffer, kLineBufferSize, m_pFile) == nullptr) return false;
    line = buffer;
    return true;
}

bool CFileOperator::WriteLine(const std::string& line) {
    if (m_pFile == nullptr) return false;
    if (!line.empty()) std::fwrite(line.data(), line.size(), 1, m_pFile);
    std::fwrite("\n", 1, 1, m_pFile);
    return true;
}

void CFileOperator::CloseFile() {
    if (m_pFile != nullptr) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

uint64_t CFileOperator::GetFileSize(FILE* file) {
    if (file == nullptr) return 0;
    const off_t position = ftello(file);
    if (position < 0) return 0;
    uint64_t size = 0;
    if (fseeko(file, 0, SEEK_END) == 0) {
        const off_t end = ftello(file);
        if (end > 0) size = static_cast<uint64_t>(end);
    }
    fseeko(file, position, SEEK_SET);
    return size;
}

uint64_t CFileOperator::GetFileSize(std::wstring path) {
    FILE* file = std::fopen(tessiva::wideToNative(path).c_str(), "rb");
    if (file == nullptr) return 0;
    const uint64_t size = GetFileSize(file);
    std::fclose(file);
    return size;
}

bool CFileOperator::RemoveDir(std::wstring folder, RemoveDirCallback callback, void* user) {
    if (!folder.empty() && isSeparator(folder.back())) folder.pop_back();
    if (isRefusedFolder(folder)) return false;
    return removeFolderAt(AT_FDCWD, tessiva::wideToNative(folder), folder, callback, user);
}

bool CFileOperator::RemoveFile(std::wstring path) {
    return removeFileAt(AT_FDCWD, tessiva::wideToNative(path).c_str());
}

std::wstring CFileOperator::FullPathGetName(std::wstring path) {
    const size_t separator = path.find_last_of(L"/\\");
    std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

}  // namespace KSB
