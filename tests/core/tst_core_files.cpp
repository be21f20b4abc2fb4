// KSB::CFileOperator: the stream wrapper, sizes, file-name parts and the folder
// removal with its callback, refused paths and symbolic links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "CoreTestSupport.h"
#include "Tessiva/FileOperator.h"

namespace {

using coretest::exists;
using coretest::readFile;
using coretest::TempDir;
using coretest::widen;
using coretest::writeFile;
using KSB::CFileOperator;

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

// Paths that name the current, the parent or the root folder are refused before
// anything is listed. The working folder is a/b inside the test's folder, so a
// wrong walk could only reach the test's own files.
TEST_F(CoreRemoveDir, RefusesEmptyCurrentParentAndRootPaths) {
    std::filesystem::create_directories(m_dir / "a/b");
    writeFile(m_dir / "a/sentinel", "a");
    writeFile(m_dir / "a/b/sentinel", "b");
    WorkingDir inside(m_dir / "a/b");
    std::vector<Report> reports;
    for (const wchar_t* path : {L"", L".", L"..", L"./", L"../", L".\\", L"..\\", L"c/..", L"../b/.", L"\\"}) {
        EXPECT_FALSE(CFileOperator::RemoveDir(path, collect, &reports)) << std::wstring(path).size();
    }
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(exists(m_dir / "a/sentinel"));
    EXPECT_TRUE(exists(m_dir / "a/b/sentinel"));
}

// "/" and "//" are tried in a child process locked into the test's folder with
// chroot, so that even a faulty walk could not reach the real root.
TEST_F(CoreRemoveDir, RefusesTheRootFolder) {
    std::filesystem::create_directories(m_dir / "jail/dir");
    writeFile(m_dir / "jail/sentinel", "root");
    writeFile(m_dir / "jail/dir/sentinel", "dir");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (chroot((m_dir / "jail").c_str()) != 0 || chdir("/dir") != 0) _exit(77);
        int refused = 0;
        for (const wchar_t* path : {L"/", L"//", L"\\", L"/.", L"/dir/..", L"/dir/../"}) {
            if (!CFileOperator::RemoveDir(path, nullptr, nullptr)) ++refused;
        }
        _exit(refused == 6 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "chroot is not allowed here (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(exists(m_dir / "jail/sentinel"));
    EXPECT_TRUE(exists(m_dir / "jail/dir/sentinel"));
}

}  // namespace
