// The single-instance lock and the start-up guard built on it.
#include "PlatformTestSupport.h"
#include "startup/SingleInstanceGuard.h"
#include "platform/InstanceLock.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/stat.h>

using platform::InstanceLockResult;
using platformtest::Child;
using platformtest::ChildOptions;
using platformtest::str;

namespace {

// Every test works in a runtime folder of its own.
class InstanceLockFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadRuntime = old != nullptr;
        if (old) m_oldRuntime = old;
        ::setenv("XDG_RUNTIME_DIR", str(m_dir.path()).c_str(), 1);
    }
    void TearDown() override {
        if (m_hadRuntime)
            ::setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    // The helper's exit code for `mode` ("lock": 0 acquired, 1 already exists,
    // 2 failed; "guard": 0 when Acquire says true).
    int helper(const char* mode, const QString& name) {
        Child child;
        ChildOptions options;
        options.argv = {ZN_PLATFORM_TEST_HELPER, mode, str(name)};
        if (!child.start(options)) return -1;
        return child.exitCode();
    }

    QTemporaryDir m_dir;
    bool m_hadRuntime = false;
    std::string m_oldRuntime;
};

TEST_F(InstanceLockFixture, TheLockFileLivesInTheRuntimeFolder) {
    EXPECT_EQ(platform::runtimeDir(), m_dir.path());
    EXPECT_EQ(platform::instanceLockPath(QStringLiteral("Corvane")), m_dir.path() + QStringLiteral("/Corvane.lock"));
    EXPECT_EQ(platform::instanceLockPath(QStringLiteral("a/../b")), m_dir.path() + QStringLiteral("/a_.._b.lock"));
    EXPECT_TRUE(platform::instanceLockPath(QString()).isEmpty());

    // Without a usable session folder: a private folder of ours in /tmp.
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/run"}) {
        if (value)
            ::setenv("XDG_RUNTIME_DIR", value, 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        const QString expected = QStringLiteral("/tmp/corvane-%1").arg(::getuid());
        EXPECT_EQ(platform::runtimeDir(), expected) << (value ? value : "(unset)");
        struct stat info {};
        ASSERT_EQ(::lstat(str(expected).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 077, 0u);
    }
}

TEST_F(InstanceLockFixture, ASecondHolderFindsTheLockTaken) {
    int first = -1;
    ASSERT_EQ(platform::acquireInstanceLock(QStringLiteral("Corvane"), &first), InstanceLockResult::Acquired);
    ASSERT_GE(first, 0);
    EXPECT_TRUE(::fcntl(first, F_GETFD) & FD_CLOEXEC);

    // Again in this process, as with a named mutex made twice.
    int again = 7;
    EXPECT_EQ(platform::acquireInstanceLock(QStringLiteral("Corvane"), &again), InstanceLockResult::AlreadyExists);
    EXPECT_EQ(again, -1);
    // In another process, through the lock and through the start-up guard.
    EXPECT_EQ(helper("lock", QStringLiteral("Corvane")), 1);
    EXPECT_EQ(helper("guard", QStringLiteral("Corvane")), 1);
    // Other names are other locks.
    EXPECT_EQ(helper("lock", QStringLiteral("Velkin")), 0);

    ::close(first);
    EXPECT_EQ(helper("lock", QStringLiteral("Corvane")), 0);
}

// A lock that cannot be made at all is no reason to stop: the guard lets the
// program start as the first instance.
TEST_F(InstanceLockFixture, ALockThatCannotBeMadeStartsAsTheFirstInstance) {
    const QString file = m_dir.path() + QStringLiteral("/plain-file");
    ASSERT_TRUE(platformtest::writeFile(file, "x"));
    const QString elsewhere = m_dir.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(platformtest::writeFile(elsewhere, "keep"));
    const QString runtime = m_dir.path() + QStringLiteral("/run");
    ASSERT_TRUE(QDir().mkpath(runtime + QStringLiteral("/Folder.lock")));
    ASSERT_TRUE(QFile::link(elsewhere, runtime + QStringLiteral("/Linked.lock")));

    const struct {
        const char* what;
        QString runtimeDir;
        QString name;
    } cases[] = {
        {"runtime folder is a file", file, QStringLiteral("Corvane")},
        {"runtime folder is missing", m_dir.path() + QStringLiteral("/missing"), QStringLiteral("Corvane")},
        {"lock file is a folder", runtime, QStringLiteral("Folder")},
        {"lock file is a symbolic link", runtime, QStringLiteral("Linked")},
        {"empty name", runtime, QString()},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_RUNTIME_DIR", str(c.runtimeDir).c_str(), 1);
        int handle = 7;
        EXPECT_EQ(platform::acquireInstanceLock(c.name, &handle), InstanceLockResult::Failed) << c.what;
        EXPECT_EQ(handle, -1) << c.what;
        CSingleInstanceGuard guard;
        EXPECT_TRUE(guard.Acquire(c.name)) << c.what;
    }
    // The link's target was neither followed nor changed.
    EXPECT_EQ(platformtest::readFile(elsewhere), QByteArray("keep"));
}

// Release forgets the handle only: the lock stays held until the process ends.
TEST_F(InstanceLockFixture, ReleaseKeepsTheLockHeld) {
    CSingleInstanceGuard guard;
    ASSERT_TRUE(guard.Acquire(QStringLiteral("Released")));
    EXPECT_TRUE(guard.Release());
    EXPECT_EQ(helper("lock", QStringLiteral("Released")), 1);
}

// A program started detached by the holder does not inherit the lock: once the
// holder has died, however it died, the next start is the first instance again
// although that program still runs.
TEST_F(InstanceLockFixture, TheLockGoesWithTheHolderAndIsNotInherited) {
    Child holder;
    ChildOptions options;
    options.argv = {ZN_PLATFORM_TEST_HELPER, "hold", "Held", "/bin/sleep", "300"};
    options.pipeStdout = true;
    ASSERT_TRUE(holder.start(options));
    const std::string line = holder.readStdoutLine();
    ASSERT_EQ(line.rfind("child ", 0), 0u) << line;
    const pid_t detached = static_cast<pid_t>(std::stol(line.substr(6)));
    ASSERT_GT(detached, 0);
    struct KillAtEnd {
        pid_t pid;
        ~KillAtEnd() { ::kill(pid, SIGKILL); }
    } killAtEnd{detached};

    EXPECT_EQ(helper("lock", QStringLiteral("Held")), 1);
    // The detached program holds no descriptor of the lock file.
    const QString lockFile = platform::instanceLockPath(QStringLiteral("Held"));
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(detached));
    ASSERT_TRUE(fds.exists());
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        EXPECT_NE(QFile::symLinkTarget(fds.filePath(fd)), lockFile);

    ::kill(holder.pid(), SIGKILL);
    ASSERT_TRUE(holder.killedBy(SIGKILL));
    EXPECT_EQ(::kill(detached, 0), 0);
    EXPECT_EQ(helper("lock", QStringLiteral("Held")), 0);
}

}  // namespace
