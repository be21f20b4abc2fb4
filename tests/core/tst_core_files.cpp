// KSB::CFileOperator: the stream wrapper, sizes, file-name parts and the folder
// removal with its callback, refused paths and symbolic links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sched.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <thread>
#include <string>
#include <tuple>
#include <vector>

#include "CoreTestSupport.h"
#include "Tessiva/FileOperator.h"
#include "testsupport/FolderRace.h"

namespace {

using coretest::exists;
using coretest::readFile;
using coretest::TempDir;
using coretest::widen;
using coretest::writeFile;
using KSB::CFileOperator;

// Children that set up a chroot or a mount namespace, and the exit code of one
// that could not (skipped, and failed under CI=true, by ZN_SKIP_UNLESS_SET_UP):
// the shared test support.
using testsupport::kCannotSetUp;
using testsupport::runInChild;

// A text with embedded NULs, which a literal's constructor would cut.
std::wstring withNul(const std::wstring& before, const std::wstring& after) {
    return before + std::wstring(1, L'\0') + after;
}

TEST(CoreFileStream, WritesAndReadsBytesAndLines) {
    TempDir dir;
    const std::string path = dir / "lines.txt";
    {
        CFileOperator file;
        ASSERT_TRUE(file.OpenFile(widen(path), L"wb"));
        EXPECT_TRUE(file.WriteLine("abc"));
        EXPECT_TRUE(file.WriteLine(""));
        EXPECT_TRUE(file.WriteByte("xyz", 3));
        EXPECT_FALSE(file.WriteByte(nullptr, 3));
        EXPECT_FALSE(file.WriteByte("xyz", 0));
    }  // the destructor closes (and flushes) the stream
    EXPECT_EQ(readFile(path), "abc\n\nxyz");

    CFileOperator file;
    ASSERT_TRUE(file.OpenFile(widen(path), L"rt"));
    std::string line = "old";
    EXPECT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "abc\n");
    EXPECT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "\n");
    char bytes[4] = {};
    EXPECT_FALSE(file.ReadByte(nullptr, 2));
    EXPECT_FALSE(file.ReadByte(bytes, 0));
    EXPECT_TRUE(file.ReadByte(bytes, 2));
    EXPECT_EQ(std::string(bytes, 2), "xy");
    EXPECT_FALSE(file.ReadByte(bytes, 2)) << "only one byte is left";

    // At the end of the file: false and an empty line.
    line = "old";
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, "");
}

// A write the file does not take is reported: a stream opened for reading
// only, and a full device (/dev/full), for a write shorter than the stream's
// buffer and for one longer than it.
TEST(CoreFileStream, WriteByteReportsAWriteTheFileDidNotTake) {
    TempDir dir;
    writeFile(dir / "read-only.txt", "kept");
    struct Case {
        const char* name;
        std::string path;
        const wchar_t* mode;
        size_t length;
    };
    const Case cases[] = {
        {"stream opened for reading", dir / "read-only.txt", L"rb", 4},
        {"full device, short write", "/dev/full", L"wb", 4},
        {"full device, write beyond the buffer", "/dev/full", L"wb", 1 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!exists(c.path)) GTEST_SKIP() << c.path << " is missing here";
        CFileOperator file;
        ASSERT_TRUE(file.OpenFile(widen(c.path), c.mode));
        const std::string data(c.length, 'w');
        EXPECT_FALSE(file.WriteByte(data.data(), data.size()));
    }
    EXPECT_EQ(readFile(dir / "read-only.txt"), "kept");
}

TEST(CoreFileStream, LongLineComesBackInTwoReads) {
    TempDir dir;
    const std::string path = dir / "long.txt";
    const std::string longLine(20000, 'q');
    writeFile(path, longLine + "\nend");

    CFileOperator file;
    ASSERT_TRUE(file.OpenFile(widen(path), L"r"));
    std::string first, second, third;
    ASSERT_TRUE(file.ReadLine(first));
    ASSERT_TRUE(file.ReadLine(second));
    EXPECT_EQ(first.size(), 10239u);
    EXPECT_EQ(first + second, longLine + "\n");
    ASSERT_TRUE(file.ReadLine(third));
    EXPECT_EQ(third, "end");
}

TEST(CoreFileStream, OpenReplacesTheStreamAndFailureLeavesItClosed) {
    TempDir dir;
    writeFile(dir / "a.txt", "from a\n");
    writeFile(dir / "b.txt", "from b\n");

    CFileOperator file;
    ASSERT_TRUE(file.OpenFile(widen(dir / "a.txt"), L"rb"));
    ASSERT_TRUE(file.OpenFile(widen(dir / "b.txt"), L"rb"));
    std::string line;
    EXPECT_TRUE(file.ReadLine(line));
    EXPECT_EQ(line, "from b\n");

    EXPECT_FALSE(file.OpenFile(widen(dir / "missing.txt"), L"rb"));
    EXPECT_FALSE(file.ReadLine(line));
}

TEST(CoreFileStream, NonAsciiPathsAreUtf8OnDisk) {
    TempDir dir;
    const std::wstring path = widen(dir.path()) + L"/Gr\u00fc\u00dfe \u65e5\u672c.txt";
    CFileOperator file;
    ASSERT_TRUE(file.OpenFile(path, L"wb"));
    EXPECT_TRUE(file.WriteByte("1234", 4));
    file.CloseFile();
    EXPECT_EQ(readFile(dir / "Gr\xc3\xbc\xc3\x9f"
                             "e \xe6\x97\xa5\xe6\x9c\xac.txt"),
              "1234");
    EXPECT_EQ(CFileOperator::GetFileSize(path), 4u);
    EXPECT_TRUE(CFileOperator::RemoveFile(path));
}

// Without an open stream nothing is read or written and nothing crashes.
TEST(CoreFileStream, ClosedObjectRefusesEveryOperation) {
    CFileOperator file;
    char buffer[8];
    std::string line = "old";
    EXPECT_FALSE(file.ReadByte(buffer, sizeof buffer));
    EXPECT_FALSE(file.WriteByte("data", 4));
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(file.WriteLine("text"));
    file.CloseFile();
    file.CloseFile();
}

// A copy never shares the stream, so the stream is closed exactly once; the
// original keeps working and copies can open files of their own.
TEST(CoreFileStream, CopiesNeverShareAnOpenStream) {
    TempDir dir;
    writeFile(dir / "a.txt", "one\ntwo\n");
    writeFile(dir / "b.txt", "bee\n");

    CFileOperator original;
    ASSERT_TRUE(original.OpenFile(widen(dir / "a.txt"), L"rb"));
    std::string line;
    {
        CFileOperator copy(original);
        EXPECT_FALSE(copy.ReadLine(line));
        CFileOperator assigned;
        ASSERT_TRUE(assigned.OpenFile(widen(dir / "b.txt"), L"rb"));
        assigned = original;
        EXPECT_FALSE(assigned.ReadLine(line));
        ASSERT_TRUE(assigned.OpenFile(widen(dir / "b.txt"), L"rb"));
        EXPECT_TRUE(assigned.ReadLine(line));
        EXPECT_EQ(line, "bee\n");
    }
    original = original;
    EXPECT_TRUE(original.ReadLine(line));
    EXPECT_EQ(line, "one\n");
    std::vector<CFileOperator> closedCopies(3, CFileOperator());
    EXPECT_TRUE(closedCopies[1].OpenFile(widen(dir / "b.txt"), L"rb"));
}

TEST(CoreFileSize, KeepsThePositionAndHandlesMissingFiles) {
    TempDir dir;
    const std::string path = dir / "sized.bin";
    writeFile(path, std::string(1000, 'x'));

    FILE* stream = std::fopen(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(std::fseek(stream, 123, SEEK_SET), 0);
    EXPECT_EQ(CFileOperator::GetFileSize(stream), 1000u);
    EXPECT_EQ(std::ftell(stream), 123);
    std::fclose(stream);

    EXPECT_EQ(CFileOperator::GetFileSize(static_cast<FILE*>(nullptr)), 0u);
    EXPECT_EQ(CFileOperator::GetFileSize(widen(path)), 1000u);
    EXPECT_EQ(CFileOperator::GetFileSize(widen(dir / "missing.bin")), 0u);
}

// Sizes are 64-bit: a sparse file of 3 GiB + 5 bytes (no disk space used).
TEST(CoreFileSize, FilesOfMoreThanTwoGiB) {
    TempDir dir;
    const std::string path = dir / "big.bin";
    const uint64_t size = (uint64_t{3} << 30) + 5;
    writeFile(path, "");
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    if (error) GTEST_SKIP() << "cannot make a sparse file here: " << error.message();
    EXPECT_EQ(CFileOperator::GetFileSize(widen(path)), size);

    CFileOperator file;
    ASSERT_TRUE(file.OpenFile(widen(path), L"rb"));
    char byte = 1;
    EXPECT_TRUE(file.ReadByte(&byte, 1));
    EXPECT_EQ(byte, 0);
}

// A folder has no size: 0, not the end offset its file system reports, and it is
// not opened as a stream. A FIFO is never opened for reading (that would wait
// for a writer): its size is 0 at once. Whether a reader opened it shows on
// the writer's side: a non-blocking open for writing succeeds only while a
// reader has it open, and then also wakes the waiting reader.
TEST(CoreFileSize, FoldersAndFifosHaveNoSizeAndAreNotOpened) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(CFileOperator::GetFileSize(widen(dir / "folder")), 0u);
    FILE* folderStream = std::fopen((dir / "folder").c_str(), "rb");
    ASSERT_NE(folderStream, nullptr);
    EXPECT_EQ(CFileOperator::GetFileSize(folderStream), 0u);
    std::fclose(folderStream);

    CFileOperator file;
    std::string line;
    for (const wchar_t* mode : {L"rb", L"r", L"rt"}) {
        EXPECT_FALSE(file.OpenFile(widen(dir / "folder"), mode)) << mode[1];
        EXPECT_FALSE(file.ReadLine(line));
    }

    const std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> done{false};
    uint64_t size = 1;
    std::thread sizer([&] {
        size = CFileOperator::GetFileSize(widen(fifo));
        done = true;
    });
    bool readerSeen = false;
    while (!done && !readerSeen) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) {
            readerSeen = true;
            close(writer);
        }
        std::this_thread::yield();
    }
    sizer.join();
    EXPECT_FALSE(readerSeen) << "GetFileSize opened the FIFO for reading";
    EXPECT_EQ(size, 0u);
}

// Every function that takes a path refuses one holding a NUL: the file system
// would get the text before the NUL, another path than the one checked.
TEST(CoreNulPaths, FileFunctionsRefuseAPathHoldingANul) {
    TempDir dir;
    const std::string path = dir / "file.txt";
    writeFile(path, "content");
    const std::wstring cut = withNul(widen(path), L".bak");

    CFileOperator file;
    EXPECT_FALSE(file.OpenFile(cut, L"rb"));
    EXPECT_FALSE(file.OpenFile(withNul(widen(path), L""), L"rb"));
    EXPECT_FALSE(file.OpenFile(widen(path), withNul(L"rb", L"+"))) << "the mode holds a NUL";
    std::string line;
    EXPECT_FALSE(file.ReadLine(line));
    EXPECT_EQ(CFileOperator::GetFileSize(cut), 0u);
    EXPECT_FALSE(CFileOperator::RemoveFile(cut));
    EXPECT_EQ(readFile(path), "content");
    EXPECT_EQ(CFileOperator::FullPathGetName(withNul(L"/a/report.txt", L"/b/setup.exe")), L"");
    // The file itself is still reached by its real name.
    EXPECT_EQ(CFileOperator::GetFileSize(widen(path)), 7u);
}

TEST(CoreFileName, FullPathGetNameTakesTheNameWithoutFolderAndExtension) {
    const std::wstring longFolder(5000, L'd');
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"/home/user/report.final.txt", L"report.final"},
        {L"C:\\Users\\me\\setup.exe", L"setup"},
        {L"relative/dir.d/name", L"name"},
        {L"plain", L"plain"},
        {L"archive.", L"archive"},
        {L".profile", L""},
        {L"/folder/", L""},
        {L"", L""},
        {L"/" + longFolder + L"/" + std::wstring(3000, L'n') + L".log", std::wstring(3000, L'n')},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(CFileOperator::FullPathGetName(path), name) << path.size();
    }
}

TEST(CoreRemoveFile, DeletesFilesAndLinksButNotFoldersOrReadOnlyFiles) {
    TempDir dir;
    writeFile(dir / "plain.txt", "x");
    writeFile(dir / "target.txt", "keep");
    ASSERT_EQ(symlink((dir / "target.txt").c_str(), (dir / "link").c_str()), 0);
    writeFile(dir / "readonly.txt", "x");
    ASSERT_EQ(chmod((dir / "readonly.txt").c_str(), 0444), 0);
    std::filesystem::create_directory(dir / "folder");

    EXPECT_TRUE(CFileOperator::RemoveFile(widen(dir / "plain.txt")));
    EXPECT_FALSE(exists(dir / "plain.txt"));
    EXPECT_TRUE(CFileOperator::RemoveFile(widen(dir / "link")));
    EXPECT_FALSE(exists(dir / "link"));
    EXPECT_EQ(readFile(dir / "target.txt"), "keep");
    EXPECT_FALSE(CFileOperator::RemoveFile(widen(dir / "readonly.txt")));
    EXPECT_TRUE(exists(dir / "readonly.txt"));
    EXPECT_FALSE(CFileOperator::RemoveFile(widen(dir / "folder")));
    EXPECT_TRUE(exists(dir / "folder"));
    EXPECT_FALSE(CFileOperator::RemoveFile(widen(dir / "missing")));
}

struct Report {
    std::wstring path;
    bool success;
    int kind;
    bool operator<(const Report& other) const {
        return std::tie(path, success, kind) < std::tie(other.path, other.success, other.kind);
    }
    bool operator==(const Report& other) const {
        return path == other.path && success == other.success && kind == other.kind;
    }
};

void collect(std::wstring path, bool success, CFileOperator::SE_FILE_ATTRIBUTE kind, void* user) {
    static_cast<std::vector<Report>*>(user)->push_back({path, success, static_cast<int>(kind)});
}

std::vector<Report> sorted(std::vector<Report> reports) {
    std::sort(reports.begin(), reports.end());
    return reports;
}

std::ostream& operator<<(std::ostream& out, const Report& report) {
    return out << std::string(report.path.begin(), report.path.end()) << " " << report.success << " " << report.kind;
}

// Changes the working folder for the scope and changes it back.
class WorkingDir {
public:
    explicit WorkingDir(const std::string& path) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~WorkingDir() { std::filesystem::current_path(m_previous); }

private:
    std::filesystem::path m_previous;
};

class CoreRemoveDir : public ::testing::Test {
protected:
    // tree/ with a file, a hidden file, a hidden folder with a file, and a nested
    // folder with a file whose name is not valid UTF-8.
    void makeTree() {
        std::filesystem::create_directories(m_dir / "tree/.hidden/inner");
        std::filesystem::create_directories(m_dir / "tree/sub");
        writeFile(m_dir / "tree/file.txt", "1");
        writeFile(m_dir / "tree/.dotfile", "2");
        writeFile(m_dir / "tree/.hidden/inner/deep.txt", "3");
        writeFile(m_dir / "tree/sub/\xff\xfe.bin", "4");
    }

    std::wstring tree() const { return widen(m_dir / "tree"); }

    // From inside a/b of the test's folder, with a sentinel file in a, a/b and
    // a/b/sub, every path of `paths` is refused: nothing is reported and every
    // sentinel stays.
    void expectRefusedFromInside(const std::vector<std::wstring>& paths) {
        std::filesystem::create_directories(m_dir / "a/b/sub");
        writeFile(m_dir / "a/sentinel", "a");
        writeFile(m_dir / "a/b/sentinel", "b");
        writeFile(m_dir / "a/b/sub/sentinel", "sub");
        WorkingDir inside(m_dir / "a/b");
        std::vector<Report> reports;
        for (const std::wstring& path : paths) {
            EXPECT_FALSE(CFileOperator::RemoveDir(path, collect, &reports)) << path.size();
        }
        EXPECT_TRUE(reports.empty());
        EXPECT_TRUE(exists(m_dir / "a/sentinel"));
        EXPECT_TRUE(exists(m_dir / "a/b/sentinel"));
        EXPECT_TRUE(exists(m_dir / "a/b/sub/sentinel"));
    }

    TempDir m_dir;
};

TEST_F(CoreRemoveDir, RemovesANestedTreeWithHiddenEntriesAndReportsEachEntry) {
    makeTree();
    const std::wstring root = tree();
    for (const std::wstring& given : {root, root + L"/", root + L"\\"}) {
        SCOPED_TRACE(std::string(given.begin(), given.end()));
        makeTree();
        std::vector<Report> reports;
        EXPECT_TRUE(CFileOperator::RemoveDir(given, collect, &reports));
        EXPECT_FALSE(exists(m_dir / "tree"));
        const std::vector<Report> expected = {
            {root + L"/file.txt", true, 1},
            {root + L"/.dotfile", true, 1},
            {root + L"/.hidden", true, 2},
            {root + L"/.hidden/inner", true, 2},
            {root + L"/.hidden/inner/deep.txt", true, 1},
            {root + L"/sub", true, 2},
            {root + L"/sub/\xdcff\xdcfe.bin", true, 1},
        };
        EXPECT_EQ(sorted(reports), sorted(expected));
        // A folder is reported after everything in it.
        const auto position = [&](const std::wstring& path) {
            return std::find_if(reports.begin(), reports.end(), [&](const Report& r) { return r.path == path; });
        };
        EXPECT_LT(position(root + L"/.hidden/inner/deep.txt"), position(root + L"/.hidden/inner"));
        EXPECT_LT(position(root + L"/.hidden/inner"), position(root + L"/.hidden"));
    }
}

TEST_F(CoreRemoveDir, WorksWithoutCallback) {
    makeTree();
    EXPECT_TRUE(CFileOperator::RemoveDir(tree(), nullptr, nullptr));
    EXPECT_FALSE(exists(m_dir / "tree"));
}

TEST_F(CoreRemoveDir, MissingFolderOrAFileIsRefusedWithoutCallback) {
    writeFile(m_dir / "file.txt", "x");
    std::vector<Report> reports;
    EXPECT_FALSE(CFileOperator::RemoveDir(widen(m_dir / "missing"), collect, &reports));
    EXPECT_FALSE(CFileOperator::RemoveDir(widen(m_dir / "file.txt"), collect, &reports));
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(exists(m_dir / "file.txt"));
}

// The read-only file stays and is reported as failed; its folder (and so the
// whole tree) cannot be removed; everything else is gone.
TEST_F(CoreRemoveDir, ReadOnlyFileStaysAndFailsTheRemoval) {
    makeTree();
    writeFile(m_dir / "tree/sub/locked.txt", "keep");
    ASSERT_EQ(chmod((m_dir / "tree/sub/locked.txt").c_str(), 0444), 0);
    std::vector<Report> reports;
    EXPECT_FALSE(CFileOperator::RemoveDir(tree(), collect, &reports));
    const std::vector<Report> failed = {
        {tree() + L"/sub", false, 2},
        {tree() + L"/sub/locked.txt", false, 1},
    };
    std::vector<Report> actualFailed;
    std::copy_if(reports.begin(), reports.end(), std::back_inserter(actualFailed),
                 [](const Report& r) { return !r.success; });
    EXPECT_EQ(sorted(actualFailed), failed);
    EXPECT_EQ(readFile(m_dir / "tree/sub/locked.txt"), "keep");
    EXPECT_FALSE(exists(m_dir / "tree/file.txt"));
    EXPECT_FALSE(exists(m_dir / "tree/.hidden"));
}

// A link in the tree is deleted as a link; what it points to stays intact.
TEST_F(CoreRemoveDir, SymbolicLinksInsideTheTreeAreNotFollowed) {
    makeTree();
    std::filesystem::create_directories(m_dir / "outside/nested");
    writeFile(m_dir / "outside/nested/precious.txt", "precious");
    ASSERT_EQ(symlink((m_dir / "outside").c_str(), (m_dir / "tree/sub/to-outside").c_str()), 0);
    ASSERT_EQ(symlink((m_dir / "outside/nested/precious.txt").c_str(), (m_dir / "tree/file-link").c_str()), 0);
    ASSERT_EQ(symlink((m_dir / "nowhere").c_str(), (m_dir / "tree/dangling").c_str()), 0);

    std::vector<Report> reports;
    EXPECT_TRUE(CFileOperator::RemoveDir(tree(), collect, &reports));
    EXPECT_FALSE(exists(m_dir / "tree"));
    EXPECT_EQ(readFile(m_dir / "outside/nested/precious.txt"), "precious");
    for (const std::wstring& link : {tree() + L"/sub/to-outside", tree() + L"/file-link", tree() + L"/dangling"}) {
        EXPECT_NE(std::find(reports.begin(), reports.end(), Report{link, true, 1}), reports.end());
    }
}

TEST_F(CoreRemoveDir, LinkGivenAsTheFolderIsRefused) {
    makeTree();
    ASSERT_EQ(symlink((m_dir / "tree").c_str(), (m_dir / "link").c_str()), 0);
    std::vector<Report> reports;
    EXPECT_FALSE(CFileOperator::RemoveDir(widen(m_dir / "link"), collect, &reports));
    EXPECT_FALSE(CFileOperator::RemoveDir(widen(m_dir / "link/"), collect, &reports));
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(exists(m_dir / "link"));
    EXPECT_TRUE(exists(m_dir / "tree/file.txt"));
}

// Paths that name the current, the parent or the root folder are refused before
// anything is listed. The working folder is a/b inside the test's folder, so a
// wrong walk could only reach the test's own files.
TEST_F(CoreRemoveDir, RefusesEmptyCurrentParentAndRootPaths) {
    expectRefusedFromInside({L"", L".", L"..", L"./", L"../", L".\\", L"..\\", L"c/..", L"../b/.", L"\\"});
}

// The root forms are tried in a child process locked into the test's folder with
// chroot, so that even a faulty walk could not reach the real root.
TEST_F(CoreRemoveDir, RefusesTheRootFolderAlsoBehindANul) {
    std::filesystem::create_directories(m_dir / "jail/dir");
    writeFile(m_dir / "jail/sentinel", "root");
    writeFile(m_dir / "jail/dir/sentinel", "dir");
    const std::string jail = m_dir / "jail";
    const int code = runInChild([&] {
        if (chroot(jail.c_str()) != 0 || chdir("/dir") != 0) return kCannotSetUp;
        // The root itself, and "/" followed by a NUL and more (a walk of the
        // path cut at the NUL would empty the jail, never the machine).
        const std::vector<std::wstring> paths = {L"/",
                                                 L"//",
                                                 L"\\",
                                                 L"/.",
                                                 L"/dir/..",
                                                 L"/dir/../",
                                                 withNul(L"/", L"x"),
                                                 withNul(L"/", L""),
                                                 withNul(L"//", L"/.."),
                                                 withNul(L"/", L"dir"),
                                                 withNul(L".", L"")};
        for (const std::wstring& path : paths) {
            if (CFileOperator::RemoveDir(path, nullptr, nullptr)) return 1;
        }
        return 0;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "chroot");
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(exists(m_dir / "jail/sentinel"));
    EXPECT_TRUE(exists(m_dir / "jail/dir/sentinel"));
}

// A NUL after ".", ".." or a folder name: the file system would get the
// working folder, its parent or another folder. The working folder is a/b in the
// test's folder, so a wrong walk could only reach the test's own files.
TEST_F(CoreRemoveDir, RefusesRelativePathsHoldingANul) {
    expectRefusedFromInside({
        withNul(L".", L""),
        withNul(L"..", L""),
        withNul(L".", L"/x"),
        withNul(L"sub", L"/kept"),
        withNul(L"", L"x"),
        withNul(L"./sub", L"\\"),
    });
}

// A tree 5000 folders deep, with a file on every tenth level, goes under the
// usual limit of 1024 descriptors (set in a child process): every entry is
// reported deleted and the tree is gone. A walk that kept one descriptor per
// level would run out after about a thousand levels.
TEST_F(CoreRemoveDir, RemovesATreeDeeperThanTheDescriptorLimit) {
    constexpr int kDepth = 5000;
    constexpr int kFileEvery = 10;
    const std::string top = m_dir / "deep";
    struct Counts {
        int folders = 0;
        int files = 0;
        int failed = 0;
    };
    const int code = runInChild([&] {
        const rlimit limit{1024, 1024};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return kCannotSetUp;
        // Built level by level through handles: the paths are far longer than
        // PATH_MAX.
        if (mkdir(top.c_str(), 0700) != 0) return 2;
        int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 1; level <= kDepth && fd >= 0; ++level) {
            if (level % kFileEvery == 0) {
                const int file = openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
                if (file < 0) return 2;
                close(file);
            }
            if (mkdirat(fd, "d", 0700) != 0) return 2;
            const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = next;
        }
        if (fd < 0) return 2;
        close(fd);

        Counts counts;
        const auto count = [](std::wstring, bool success, CFileOperator::SE_FILE_ATTRIBUTE kind, void* user) {
            Counts& c = *static_cast<Counts*>(user);
            (kind == CFileOperator::SE_FILE_ATTRIBUTE_DIRECTORY ? c.folders : c.files) += 1;
            if (!success) ++c.failed;
        };
        const bool removed = CFileOperator::RemoveDir(widen(top), count, &counts);
        if (counts.failed != 0) return 3;
        if (counts.folders != kDepth || counts.files != kDepth / kFileEvery) return 4;
        return removed ? 0 : 5;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "lowering the descriptor limit");
    EXPECT_NE(code, 2) << "the tree could not be built";
    EXPECT_NE(code, 3) << "some entries were reported as not deleted";
    EXPECT_NE(code, 4) << "not every entry was reported";
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(exists(top));
}

// The folder the walk stands in is moved out of the tree: its ".." is no longer
// the folder the walk came from, so the walk stops there. The folders it stood
// in are reported as not deleted, and nothing at the new place is removed.
// A folder the caller may list but not search (mode 0600) cannot be walked, and
// the walk could not come back out of it through its "..": it is reported as
// not deleted without being entered, and the walk goes on with the rest. Each
// of two siblings holds such a folder, so whichever comes first, the other one
// shows whether the walk went on. Run as an unprivileged user in a child
// process (root could search the folder anyway).
TEST_F(CoreRemoveDir, FolderThatCannotBeSearchedIsSkippedAndTheWalkGoesOn) {
    const uid_t nobody = 65534;
    const std::string home = m_dir / "home";
    std::filesystem::create_directory(home);
    if (geteuid() != 0 || chown(home.c_str(), nobody, nobody) != 0 || chmod(m_dir.path().c_str(), 0711) != 0) {
        ZN_SKIP_UNLESS_SET_UP(kCannotSetUp, "switching to an unprivileged user");
    }
    const std::wstring root = widen(home + "/tree");
    const int code = runInChild([&] {
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) return kCannotSetUp;
        for (const char* sibling : {"x1", "x2"}) {
            const std::string folder = home + "/tree/" + sibling;
            std::filesystem::create_directories(folder + "/locked/inner");
            writeFile(folder + "/file.txt", "x");
            if (chmod((folder + "/locked").c_str(), 0600) != 0) return kCannotSetUp;
        }
        std::vector<Report> reports;
        if (CFileOperator::RemoveDir(root, collect, &reports)) return 1;
        const std::vector<Report> expected = {
            {root + L"/x1", false, 2}, {root + L"/x1/file.txt", true, 1}, {root + L"/x1/locked", false, 2},
            {root + L"/x2", false, 2}, {root + L"/x2/file.txt", true, 1}, {root + L"/x2/locked", false, 2},
        };
        return sorted(reports) == expected ? 0 : 2;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "switching to an unprivileged user");
    EXPECT_EQ(code, 0) << "1: RemoveDir reported success; 2: other reports than expected";
    EXPECT_FALSE(exists(home + "/tree/x1/file.txt"));
    EXPECT_FALSE(exists(home + "/tree/x2/file.txt"));
    EXPECT_TRUE(exists(home + "/tree/x1/locked/inner"));
}

TEST_F(CoreRemoveDir, StopsWhenTheFolderItStandsInIsMovedAway) {
    std::filesystem::create_directories(m_dir / "tree/a/b/c");
    std::filesystem::create_directories(m_dir / "outside");
    for (const char* name : {"f1", "f2", "f3"}) writeFile(m_dir / "tree/a/b/c/" + name, "x");
    struct Mover {
        std::string from, to;
        std::vector<Report> reports;
    } mover{m_dir / "tree/a/b/c", m_dir / "outside/c", {}};
    const auto moveOnFirstFile = [](std::wstring path, bool success, CFileOperator::SE_FILE_ATTRIBUTE kind,
                                    void* user) {
        Mover& m = *static_cast<Mover*>(user);
        if (m.reports.empty()) std::filesystem::rename(m.from, m.to);
        m.reports.push_back({path, success, static_cast<int>(kind)});
    };
    EXPECT_FALSE(CFileOperator::RemoveDir(tree(), moveOnFirstFile, &mover));
    const std::vector<Report> stopped = {
        {tree() + L"/a/b/c", false, 2},
        {tree() + L"/a/b", false, 2},
        {tree() + L"/a", false, 2},
    };
    ASSERT_GE(mover.reports.size(), stopped.size());
    EXPECT_EQ(std::vector<Report>(mover.reports.end() - 3, mover.reports.end()), stopped);
    EXPECT_TRUE(exists(m_dir / "outside/c"));
    EXPECT_TRUE(exists(m_dir / "tree/a/b"));
}

// A local process moves a folder of the tree out of it and back, in a loop,
// while the walk deletes inside that folder: when the walk comes back up, ".."
// may lead into the other folder, which holds files of the names still to be
// deleted in the tree. The walk must stop there, never delete by those names in
// the other folder. Many rounds, since each meets the moves at other moments.
TEST_F(CoreRemoveDir, StaysInsideWhileAFolderIsMovedOutAndBackMidWalk) {
    constexpr int kRounds = 60;
    long moves = 0;
    int roundsMet = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string top = m_dir / ("tree" + std::to_string(round));
        const std::string outside = m_dir / ("outside" + std::to_string(round));
        // "c" comes first in p; the files z0 ... come after it, and the
        // folder outside holds files of the same names.
        std::filesystem::create_directories(outside);
        for (int d = 0; d < 4; ++d) {
            const std::string folder = top + "/p/c/d" + std::to_string(d);
            std::filesystem::create_directories(folder);
            for (int f = 0; f < 100; ++f) writeFile(folder + "/f" + std::to_string(f), "x");
        }
        for (int f = 0; f < 50; ++f) {
            writeFile(top + "/p/z" + std::to_string(f), "tree");
            writeFile(outside + "/z" + std::to_string(f), "canary");
        }
        const std::string inTree = top + "/p/c";
        const std::string moved = outside + "/c";
        std::atomic<bool> stop{false};
        std::atomic<bool> tried{false};
        std::atomic<long> done{0};
        std::thread mover([&] {
            while (!stop) {
                if (rename(inTree.c_str(), moved.c_str()) == 0) ++done;
                tried = true;
                std::this_thread::yield();
                if (rename(moved.c_str(), inTree.c_str()) == 0) ++done;
                std::this_thread::yield();
            }
        });
        // The moves have begun before the walk starts.
        while (!tried) std::this_thread::yield();
        const bool removed = CFileOperator::RemoveDir(widen(top), nullptr, nullptr);
        stop = true;
        mover.join();
        moves += done;
        if (!removed) ++roundsMet;
        for (int f = 0; f < 50; ++f)
            ASSERT_EQ(readFile(outside + "/z" + std::to_string(f)), "canary") << "z" << f << " outside was deleted";
    }
    EXPECT_GT(moves, 0);
    // Not every round meets a move at the way back; the walk must have been
    // put to the test at least once.
    EXPECT_GT(roundsMet, 0) << "no round met the folder moved away";
}

// The device comparison on its own: a btrfs subvolume inside the tree has a
// device of its own but is no mount, so the mount-root flag does not mark it.
// The walk leaves it alone (as du -x and find -xdev do) and deletes the rest.
// The file system is made in an image file and mounted in a private mount
// namespace of a child, so the mount (and its loop device) ends with it.
TEST_F(CoreRemoveDir, DoesNotEnterASubvolumeThatIsNoMount) {
    const std::string image = m_dir / "btrfs.img";
    const std::string mounted = m_dir / "mnt";
    std::filesystem::create_directories(mounted);
    const std::string tree = mounted + "/tree";
    const std::string subvolume = tree + "/sub";
    const std::wstring root = widen(tree);
    const int code = runInChild([&] {
        const std::string make = "truncate -s 128M '" + image + "' && mkfs.btrfs -q '" + image + "' >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return kCannotSetUp;
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return kCannotSetUp;
        const std::string attach = "mount -o loop '" + image + "' '" + mounted + "' >/dev/null 2>&1";
        if (std::system(attach.c_str()) != 0) return kCannotSetUp;
        std::filesystem::create_directories(tree + "/other");
        const std::string create = "btrfs subvolume create '" + subvolume + "' >/dev/null 2>&1";
        if (std::system(create.c_str()) != 0) return kCannotSetUp;
        writeFile(tree + "/file.txt", "1");
        writeFile(tree + "/other/deep.txt", "2");
        std::filesystem::create_directories(subvolume + "/inner");
        writeFile(subvolume + "/kept.txt", "kept");
        writeFile(subvolume + "/inner/deep.txt", "kept");
        // The case under test: another device, and no mount root.
        struct statx top, sub;
        if (statx(AT_FDCWD, tree.c_str(), 0, STATX_BASIC_STATS, &top) != 0 ||
            statx(AT_FDCWD, subvolume.c_str(), 0, STATX_BASIC_STATS, &sub) != 0)
            return 6;
        const bool mountRoot =
            (sub.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (sub.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        if (mountRoot || (top.stx_dev_major == sub.stx_dev_major && top.stx_dev_minor == sub.stx_dev_minor)) return 6;

        std::vector<Report> reports;
        if (CFileOperator::RemoveDir(root, collect, &reports)) return 1;
        if (readFile(subvolume + "/kept.txt") != "kept" || readFile(subvolume + "/inner/deep.txt") != "kept") return 2;
        std::vector<Report> failed;
        for (const Report& report : reports)
            if (!report.success) failed.push_back(report);
        if (!(failed == std::vector<Report>{{root + L"/sub", false, 2}})) return 3;
        if (exists(tree + "/file.txt") || exists(tree + "/other")) return 4;
        return 0;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "a btrfs file system with a subvolume in a private mount namespace");
    EXPECT_NE(code, 1) << "RemoveDir reported the tree removed";
    EXPECT_NE(code, 2) << "content of the subvolume was deleted";
    EXPECT_NE(code, 3) << "other failures reported than the subvolume";
    EXPECT_NE(code, 4) << "the rest of the tree was not removed";
    EXPECT_NE(code, 6) << "the subvolume is not on a device of its own, or is a mount root";
    EXPECT_EQ(code, 0);
}

// The walk does not enter another file system: a tmpfs mounted inside the tree,
// and a bind mount of a folder outside it (same file system, same device) keep
// their content; the mount points are reported as folders not deleted, and
// everything else goes. Mounted in a private mount namespace of a child, so the
// mounts end with it.
TEST_F(CoreRemoveDir, DoesNotEnterOtherFileSystemsOrBindMounts) {
    makeTree();
    std::filesystem::create_directories(m_dir / "tree/sub/bound");
    std::filesystem::create_directories(m_dir / "tree/tmpfs");
    std::filesystem::create_directories(m_dir / "outside/nested");
    writeFile(m_dir / "outside/precious.txt", "precious");
    writeFile(m_dir / "outside/nested/deep.txt", "deep");
    const std::string bound = m_dir / "tree/sub/bound";
    const std::string tmpfs = m_dir / "tree/tmpfs";
    const std::string outside = m_dir / "outside";
    const std::wstring root = tree();
    const int code = runInChild([&] {
        if (!testsupport::bindMountPrivately(outside, bound) ||
            mount("zn-test", tmpfs.c_str(), "tmpfs", 0, "size=1m") != 0) {
            return kCannotSetUp;
        }
        writeFile(tmpfs + "/on-tmpfs.txt", "tmpfs");
        std::vector<Report> reports;
        if (CFileOperator::RemoveDir(root, collect, &reports)) return 1;
        if (readFile(tmpfs + "/on-tmpfs.txt") != "tmpfs" || readFile(bound + "/precious.txt") != "precious") return 2;
        std::vector<Report> failed;
        for (const Report& report : reports) {
            if (report.path.rfind(root + L"/tmpfs/", 0) == 0 || report.path.rfind(root + L"/sub/bound/", 0) == 0) {
                return 3;
            }
            if (!report.success) failed.push_back(report);
        }
        const std::vector<Report> expected = {
            {root + L"/sub", false, 2},
            {root + L"/sub/bound", false, 2},
            {root + L"/tmpfs", false, 2},
        };
        if (sorted(failed) != expected) return 4;
        if (exists(m_dir / "tree/file.txt") || exists(m_dir / "tree/.hidden")) return 5;
        return 0;
    });
    ZN_SKIP_UNLESS_SET_UP(code, "a private mount namespace with a bind mount and a tmpfs");
    EXPECT_NE(code, 1) << "RemoveDir reported the tree removed";
    EXPECT_NE(code, 2) << "content of a mount was deleted";
    EXPECT_NE(code, 3) << "the walk reported entries inside a mount";
    EXPECT_NE(code, 4) << "other reports than the mount points and their folder failed";
    EXPECT_NE(code, 5) << "the rest of the tree was not removed";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readFile(m_dir / "outside/precious.txt"), "precious");
    EXPECT_EQ(readFile(m_dir / "outside/nested/deep.txt"), "deep");
}

}  // namespace
