#include "Tessiva/FileOperator.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Tessiva/walk/FolderRemoval.h"
#include "Tessiva/walk/NativePath.h"

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

// A path holding a NUL would reach the file system cut at the NUL (the C
// functions end it there) while every check ran on the whole text: such a path
// is refused by every function that takes one.
bool holdsNul(const std::wstring& text) { return text.find(L'\0') != std::wstring::npos; }

// Size of a regular file through its descriptor; 0 for anything else (a folder
// reports no size, a device or a pipe has none to take).
uint64_t regularFileSize(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
    return static_cast<uint64_t>(info.st_size);
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
    if (holdsNul(path) || holdsNul(mode)) return false;
    m_pFile = std::fopen(tessiva::wideToNative(path).c_str(), nativeMode(mode).c_str());
    if (m_pFile == nullptr) return false;
    // This platform opens a folder for reading as a stream that reads nothing.
    struct stat info;
    if (fstat(fileno(m_pFile), &info) != 0 || S_ISDIR(info.st_mode)) {
        CloseFile();
        return false;
    }
    return true;
}

bool CFileOperator::ReadByte(void* buffer, uint64_t length) {
    if (buffer == nullptr || length == 0 || m_pFile == nullptr) return false;
    return std::fread(buffer, static_cast<size_t>(length), 1, m_pFile) == 1;
}

bool CFileOperator::WriteByte(const void* data, uint64_t length) {
    if (data == nullptr || length == 0 || m_pFile == nullptr) return false;
    // The bytes are handed on at once: a stream keeps a short write in its
    // buffer, where a full disk or a broken file is only met later, when
    // nobody is told any more.
    return std::fwrite(data, static_cast<size_t>(length), 1, m_pFile) == 1 && std::fflush(m_pFile) == 0;
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
    // A folder's end position is no size (on some file systems it is the largest
    // offset there is).
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) return 0;
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
    if (holdsNul(path)) return 0;
    // Only a regular file is opened: opening a FIFO for reading would wait for a
    // writer (and wake one up), and a folder has no size. O_NONBLOCK keeps the
    // open from waiting should the file be swapped for a FIFO after the look.
    const std::string native = tessiva::wideToNative(path);
    struct stat info;
    if (stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    const int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    const uint64_t size = regularFileSize(fd);
    close(fd);
    return size;
}

bool CFileOperator::RemoveDir(std::wstring folder, RemoveDirCallback callback, void* user) {
    if (!folder.empty() && isSeparator(folder.back())) folder.pop_back();
    if (holdsNul(folder) || isRefusedFolder(folder)) return false;
    const std::string native = tessiva::wideToNative(folder);
    const int fd = openat(AT_FDCWD, native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    tessiva::FolderRemoval(callback, user).removeContent(fd, folder);
    return unlinkat(AT_FDCWD, native.c_str(), AT_REMOVEDIR) == 0;
}

bool CFileOperator::RemoveFile(std::wstring path) {
    if (holdsNul(path)) return false;
    return tessiva::removeFileAt(AT_FDCWD, tessiva::wideToNative(path).c_str());
}

std::wstring CFileOperator::FullPathGetName(std::wstring path) {
    if (holdsNul(path)) return std::wstring();
    const size_t separator = path.find_last_of(L"/\\");
    std::wstring name = separator == std::wstring::npos ? path : path.substr(separator + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

}  // namespace KSB
