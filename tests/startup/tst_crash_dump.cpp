// The crash dump: a child process installs it, every attempt to replace it is
// made, then the child crashes on purpose and the test reads "crashcore.dmp".
#include "startup/CrashDump.h"
#include "PlatformTestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/syscall.h>

using platformtest::Child;
using platformtest::ChildOptions;
using platformtest::str;

namespace {

struct CrashRun {
    int exitCode = -1;
    int killedBy = 0;
    QByteArray out;
    QByteArray err;
    QByteArray dump;
    bool dumpExists = false;
    bool hung = false;
};

// Runs the helper's crash mode in `folder` (also its current folder).
CrashRun crash(const QString& folder, const std::vector<std::string>& arguments, const QString& logs) {
    Child child;
    ChildOptions options;
    options.argv = {ZN_PLATFORM_TEST_HELPER, "crash"};
    for (const std::string& a : arguments) options.argv.push_back(a);
    options.workingDirectory = str(folder);
    options.stdoutPath = str(logs + QStringLiteral("/out"));
    options.stderrPath = str(logs + QStringLiteral("/err"));
    CrashRun run;
    if (!child.start(options)) return run;
    // A child that blocks in its crash handler is ended here and reported as
    // hung (exit code -1, killedBy 0), so that a hang fails the test instead of
    // holding it.
    for (int i = 0; i < 4000 && child.running(); ++i) ::usleep(5000);
    run.hung = child.running();
    if (run.hung) ::kill(child.pid(), SIGKILL);
    const int status = child.wait();
    if (run.hung) return run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = platformtest::readFile(logs + QStringLiteral("/out"));
    run.err = platformtest::readFile(logs + QStringLiteral("/err"));
    const QString dump = folder + QStringLiteral("/crashcore.dmp");
    run.dumpExists = QFileInfo::exists(dump);
    // Read only a regular file: opening a FIFO to read would wait for a writer.
    struct stat info {};
    if (::lstat(str(dump).c_str(), &info) == 0 && S_ISREG(info.st_mode)) run.dump = platformtest::readFile(dump);
    return run;
}

QByteArray section(const QByteArray& dump, const char* from, const char* to) {
    const int start = dump.indexOf(from);
    if (start < 0) return {};
    const int end = to ? dump.indexOf(to, start) : dump.size();
    return dump.mid(start, end < 0 ? -1 : end - start);
}

QByteArray crashingThread(const QByteArray& out) {
    const int at = out.indexOf("crashing thread ");
    return at < 0 ? QByteArray() : out.mid(at + 16, out.indexOf('\n', at) - at - 16);
}

struct CrashCase {
    const char* kind;
    int signalNumber;
    const char* signalLine;
    const char* address;  // null: not checked
};

void PrintTo(const CrashCase& c, std::ostream* os) { *os << c.kind; }

class CrashDumpByKind : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashDumpByKind, WritesTheDumpAndEndsTheProcessQuietly) {
    QTemporaryDir dir, logs;
    const CrashCase& c = GetParam();
    const CrashRun run = crash(dir.path(), {c.kind, "guarded"}, logs.path());

    // Every attempt to replace the handlers "worked", yet they are still ours,
    // and other signals are not affected.
    EXPECT_TRUE(run.out.contains("attempts reported success yes\n")) << run.out.constData();
    EXPECT_TRUE(run.out.contains("handlers kept yes\n")) << run.out.constData();
    EXPECT_TRUE(run.out.contains("other signals pass yes\n")) << run.out.constData();

    EXPECT_EQ(run.killedBy, 0);
    EXPECT_EQ(run.exitCode, 128 + c.signalNumber);
    EXPECT_EQ(run.err, QByteArray());

    ASSERT_TRUE(run.dumpExists);
    const QByteArray& dump = run.dump;
    EXPECT_TRUE(dump.startsWith("crash report\n")) << dump.left(200).constData();
    EXPECT_TRUE(dump.contains(QByteArray("\nsignal: ") + c.signalLine + '\n')) << dump.left(400).constData();
    if (c.address) {
        EXPECT_TRUE(dump.contains(QByteArray("\nfault address: ") + c.address + '\n'));
    }
    const QByteArray tid = crashingThread(run.out);
    ASSERT_FALSE(tid.isEmpty());
    EXPECT_TRUE(dump.contains("\nthread id: " + tid + '\n')) << tid.constData();

    // The backtrace runs through the helper program; the module list is the
    // process's memory map.
    const QByteArray backtrace = section(dump, "\nbacktrace:\n", "\nmodules:\n");
    EXPECT_TRUE(backtrace.contains("platform_test_helper(")) << backtrace.constData();
    const QByteArray modules = section(dump, "\nmodules:\n", nullptr);
    EXPECT_TRUE(modules.contains("platform_test_helper\n"));
    EXPECT_TRUE(modules.contains("libc.so"));
    EXPECT_TRUE(modules.contains("[stack]"));
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashDumpByKind,
                         ::testing::Values(CrashCase{"segv-thread", SIGSEGV, "11 (SIGSEGV)", "0x10"},
                                           CrashCase{"stack-overflow", SIGSEGV, "11 (SIGSEGV)", nullptr},
                                           CrashCase{"abort", SIGABRT, "6 (SIGABRT)", nullptr},
                                           CrashCase{"bus", SIGBUS, "7 (SIGBUS)", nullptr},
                                           CrashCase{"ill", SIGILL, "4 (SIGILL)", nullptr},
                                           CrashCase{"fpe", SIGFPE, "8 (SIGFPE)", nullptr}),
                         [](const ::testing::TestParamInfo<CrashCase>& info) {
                             std::string name = info.param.kind;
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

// Without the guard the same attempts do replace the handler: the process then
// dies of the signal itself and leaves no dump.
TEST(CrashDump, WithoutTheGuardTheHandlerCanBeReplaced) {
    QTemporaryDir dir, logs;
    const CrashRun run = crash(dir.path(), {"segv-thread", "unguarded"}, logs.path());
    EXPECT_TRUE(run.out.contains("handlers kept no\n")) << run.out.constData();
    EXPECT_EQ(run.killedBy, SIGSEGV);
    EXPECT_FALSE(run.dumpExists);
}

TEST(CrashDump, AnOldDumpIsReplaced) {
    QTemporaryDir dir, logs;
    ASSERT_TRUE(platformtest::writeFile(dir.path() + QStringLiteral("/crashcore.dmp"),
                                        QByteArray("OLD DUMP ").repeated(20000)));
    const CrashRun run = crash(dir.path(), {"abort", "guarded"}, logs.path());
    EXPECT_EQ(run.exitCode, 128 + SIGABRT);
    EXPECT_TRUE(run.dump.startsWith("crash report\n"));
    EXPECT_FALSE(run.dump.contains("OLD DUMP"));
}

// When the dump cannot be created nothing is written and the process still
// ends as after any crash, without further output.
TEST(CrashDump, AFolderWithoutRoomForTheDumpStillEndsTheProcess) {
    QTemporaryDir dir, logs;
    const QString readOnly = dir.path() + QStringLiteral("/read-only");
    ASSERT_TRUE(QDir().mkpath(readOnly));
    ASSERT_EQ(::chmod(str(readOnly).c_str(), 0555), 0);
    const CrashRun run = crash(readOnly, {"segv-thread", "guarded", "no-dac-override"}, logs.path());
    if (run.exitCode == 4 || run.exitCode == 5) GTEST_SKIP() << "the folder cannot be made read-only for the helper";
    EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_FALSE(run.dumpExists);
    EXPECT_TRUE(QDir(readOnly).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST(CrashDump, ADeletedCurrentFolderStillEndsTheProcess) {
    QTemporaryDir logs;
    QTemporaryDir dir;
    const QString gone = dir.path() + QStringLiteral("/gone");
    ASSERT_TRUE(QDir().mkpath(gone));
    // The folder is removed after the child has entered it, by the shell that
    // then becomes the helper.
    Child child;
    ChildOptions options;
    options.argv = {"/bin/sh", "-c", "rmdir \"$PWD\" && exec \"$0\" crash segv-thread guarded",
                    ZN_PLATFORM_TEST_HELPER};
    options.workingDirectory = str(gone);
    options.stderrPath = str(logs.path() + QStringLiteral("/err"));
    ASSERT_TRUE(child.start(options));
    EXPECT_EQ(child.exitCode(), 128 + SIGSEGV);
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_EQ(platformtest::readFile(logs.path() + QStringLiteral("/err")), QByteArray());
}

// Only a regular file takes the report. Whatever else bears its name is left
// as it is and gets nothing, and the crashing process still ends at once.
TEST(CrashDump, OnlyARegularFileTakesTheReport) {
    enum class Planted { Nothing, Fifo, FifoWithReader, LinkToFile, DanglingLink };
    const struct {
        const char* what;
        Planted planted;
        bool written;
    } cases[] = {
        {"no file yet", Planted::Nothing, true},
        {"a FIFO nobody reads", Planted::Fifo, false},
        {"a FIFO with a reader", Planted::FifoWithReader, false},
        {"a link to another file", Planted::LinkToFile, false},
        {"a link to a missing file", Planted::DanglingLink, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir, logs, elsewhere;
        const QString dump = dir.path() + QStringLiteral("/crashcore.dmp");
        const QString target = elsewhere.path() + QStringLiteral("/key");
        int reader = -1;
        switch (c.planted) {
        case Planted::Nothing: break;
        case Planted::Fifo: ASSERT_EQ(::mkfifo(str(dump).c_str(), 0600), 0); break;
        case Planted::FifoWithReader:
            ASSERT_EQ(::mkfifo(str(dump).c_str(), 0600), 0);
            reader = ::open(str(dump).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(reader, 0);
            break;
        case Planted::LinkToFile:
            ASSERT_TRUE(platformtest::writeFile(target, "secret"));
            ASSERT_EQ(::chmod(str(target).c_str(), 0644), 0);
            ASSERT_TRUE(QFile::link(target, dump));
            break;
        case Planted::DanglingLink: ASSERT_TRUE(QFile::link(target, dump)); break;
        }

        const CrashRun run = crash(dir.path(), {"segv-thread", "guarded"}, logs.path());
        EXPECT_FALSE(run.hung);
        EXPECT_EQ(run.exitCode, 128 + SIGSEGV);
        EXPECT_EQ(run.err, QByteArray());

        struct stat info {};
        ASSERT_EQ(::lstat(str(dump).c_str(), &info), 0);
        if (c.written) {
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_mode & 07777, 0600u);
            EXPECT_TRUE(run.dump.startsWith("crash report\n"));
        }
        if (c.planted == Planted::Fifo || c.planted == Planted::FifoWithReader) {
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
        }
        if (reader >= 0) {
            char byte;
            EXPECT_EQ(::read(reader, &byte, 1), 0) << "the FIFO received the report";
            ::close(reader);
        }
        if (c.planted == Planted::LinkToFile) {
            EXPECT_TRUE(S_ISLNK(info.st_mode));
            EXPECT_EQ(platformtest::readFile(target), QByteArray("secret"));
            struct stat targetInfo {};
            ASSERT_EQ(::stat(str(target).c_str(), &targetInfo), 0);
            EXPECT_EQ(targetInfo.st_mode & 07777, 0644u);
        }
        if (c.planted == Planted::DanglingLink) {
            EXPECT_TRUE(S_ISLNK(info.st_mode));
            EXPECT_FALSE(QFileInfo::exists(target));
        }
    }
}

// The report without a crash record, written by the program itself.
TEST(CrashDump, WriteCrashDumpWithoutASignal) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/crashcore.dmp");
    WriteCrashDump(nullptr, str(path).c_str());
    const QByteArray dump = platformtest::readFile(path);
    EXPECT_TRUE(dump.startsWith("crash report\n"));
    EXPECT_FALSE(dump.contains("\nsignal: "));
    EXPECT_TRUE(dump.contains("\nprocess id: " + QByteArray::number(::getpid()) + '\n'));
    EXPECT_TRUE(
        dump.contains("\nthread id: " + QByteArray::number(static_cast<qlonglong>(::syscall(SYS_gettid))) + '\n'));
    EXPECT_TRUE(dump.contains("\nmodules:\n"));

    EXPECT_FALSE(
        platform::writeCrashReport(str(dir.path() + QStringLiteral("/missing/crashcore.dmp")).c_str(), nullptr));
}

TEST(CrashDump, IsNtdllModule) {
    const struct {
        const wchar_t* path;
        bool expected;
    } cases[] = {
        {L"C:\\Windows\\System32\\ntdll.dll", true},
        {L"C:\\WINDOWS\\SYSTEM32\\NTDLL.DLL", true},
        {L"NtDll.dll", true},
        {L"ntdll", true},
        {L"C:ntdll.dll", true},
        {L"/usr/lib/wine/ntdll.so", true},
        {L"ntdll.", true},
        {L"C:\\Windows\\System32\\ntdll32.dll", false},
        {L"C:\\Windows\\System32\\ntdl.dll", false},
        {L"C:\\x\\ntdll.dll.mui", false},
        {L"C:\\ntdll.dll\\kernel32.dll", false},
        {L"C:\\Windows\\System32\\", false},
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNtdllModule(c.path), c.expected)
            << (c.path ? QString::fromWCharArray(c.path).toStdString() : "null");
}

}  // namespace
