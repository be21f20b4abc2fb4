// The single-instance lock and the start-up guard built on it.
#include "PlatformTestSupport.h"
#include "startup/SingleInstanceGuard.h"
#include "platform/InstanceLock.h"
#include "testsupport/PrivateTmp.h"

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

// The helper's exit code for `mode` in the current environment ("lock": 0
// acquired, 1 already exists, 2 failed; "guard": 0 when Acquire says true).
int lockHelper(const char* mode, const QString& name) {
    Child child;
    ChildOptions options;
    options.argv = {ZN_PLATFORM_TEST_HELPER, mode, str(name)};
    if (!child.start(options)) return -1;
    return child.exitCode();
}

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

// $XDG_RUNTIME_DIR counts only when it is a folder of ours that no one else
// may write to, as the folder in /tmp does: whoever controls it would hold our
// locks and the updater's socket. Otherwise the folder in /tmp is used.
TEST_F(InstanceLockFixture, ARuntimeFolderOthersControlIsNotUsed) {
    const QString tmpFallback = QStringLiteral("/tmp/corvane-%1").arg(::getuid());
    const struct {
        const char* what;
        const char* name;  // under the fixture's folder
        int kind;          // 0 folder, 1 file, 2 link to a private folder of ours, 3 nothing
        mode_t mode;
        uid_t owner;
        bool used;
    } cases[] = {
        {"our folder, 0700", "ours", 0, 0700, ::geteuid(), true},
        {"our folder, 0755", "readable", 0, 0755, ::geteuid(), true},
        {"owned by another user", "theirs", 0, 0700, 65534, false},
        {"group-writable", "group", 0, 0770, ::geteuid(), false},
        {"world-writable", "world", 0, 0777, ::geteuid(), false},
        {"world-writable and sticky", "sticky", 0, 01777, ::geteuid(), false},
        {"a file", "file", 1, 0600, ::geteuid(), false},
        {"a link to a folder of ours", "link", 2, 0700, ::geteuid(), false},
        {"missing", "missing", 3, 0, ::geteuid(), false},
    };
    const QString privateFolder = m_dir.path() + QStringLiteral("/private");
    ASSERT_TRUE(QDir().mkpath(privateFolder));
    ASSERT_EQ(::chmod(str(privateFolder).c_str(), 0700), 0);
    for (const auto& c : cases) {
        const QString path = m_dir.path() + QLatin1Char('/') + QLatin1String(c.name);
        if (c.kind == 0) {
            ASSERT_TRUE(QDir().mkpath(path)) << c.what;
        } else if (c.kind == 1) {
            ASSERT_TRUE(platformtest::writeFile(path, "x")) << c.what;
        } else if (c.kind == 2) {
            ASSERT_TRUE(QFile::link(privateFolder, path)) << c.what;
        }
        if (c.owner != ::geteuid() && ::geteuid() != 0) continue;  // only root can give a folder away
        if (c.kind <= 1) {
            ASSERT_EQ(::chmod(str(path).c_str(), c.mode), 0) << c.what;
            ASSERT_EQ(::chown(str(path).c_str(), c.owner, static_cast<gid_t>(-1)), 0) << c.what;
        }
        ::setenv("XDG_RUNTIME_DIR", str(path).c_str(), 1);
        EXPECT_EQ(str(platform::runtimeDir()), str(c.used ? path : tmpFallback)) << c.what;
        EXPECT_EQ(str(platform::instanceLockPath(QStringLiteral("Corvane"))),
                  str((c.used ? path : tmpFallback) + QStringLiteral("/Corvane.lock")))
            << c.what;
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
    EXPECT_EQ(lockHelper("lock", QStringLiteral("Corvane")), 1);
    EXPECT_EQ(lockHelper("guard", QStringLiteral("Corvane")), 1);
    // Other names are other locks.
    EXPECT_EQ(lockHelper("lock", QStringLiteral("Velkin")), 0);

    ::close(first);
    EXPECT_EQ(lockHelper("lock", QStringLiteral("Corvane")), 0);
}

// A lock that cannot be made at all is no reason to stop: the guard lets the
// program start as the first instance.
TEST_F(InstanceLockFixture, ALockThatCannotBeMadeStartsAsTheFirstInstance) {
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
    EXPECT_EQ(lockHelper("lock", QStringLiteral("Released")), 1);
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

    EXPECT_EQ(lockHelper("lock", QStringLiteral("Held")), 1);
    // The detached program holds no descriptor of the lock file.
    const QString lockFile = platform::instanceLockPath(QStringLiteral("Held"));
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(detached));
    ASSERT_TRUE(fds.exists());
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        EXPECT_NE(QFile::symLinkTarget(fds.filePath(fd)), lockFile);

    ::kill(holder.pid(), SIGKILL);
    ASSERT_TRUE(holder.killedBy(SIGKILL));
    EXPECT_EQ(::kill(detached, 0), 0);
    EXPECT_EQ(lockHelper("lock", QStringLiteral("Held")), 0);
}

// Without a session folder, another user who makes /tmp/corvane-<uid> first (a
// folder, or a link) leaves us the folder in our own home: the locks still
// keep a second instance out, Corvane's and the updater's alike. Only when that
// one is taken too is there no lock at all, and the program then starts as
// the first instance.
TEST(InstanceLockWithTmpTaken, TheHomeFolderStandsIn) {
    if (!platformtest::inNamespaces()) {
        // A /tmp of its own, where it may let another user take our name.
        QByteArray log;
        const int code = platformtest::rerunInNamespaces(
            {"--mount", "--propagation", "private"},
            testsupport::privateTmpSetup(str(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")))),
            "InstanceLockWithTmpTaken.TheHomeFolderStandsIn", &log);
        if (code == -2) GTEST_SKIP() << "no mount namespace with a /tmp of its own can be made here";
        EXPECT_EQ(code, 0) << log.constData();
        EXPECT_TRUE(log.contains("[  PASSED  ] 1 test")) << log.constData();
        return;
    }
    // Here /tmp is our own empty tmpfs.
    const QString taken = QStringLiteral("/tmp/corvane-%1").arg(::getuid());
    ASSERT_FALSE(QFileInfo::exists(taken));
    ::unsetenv("XDG_RUNTIME_DIR");
    QTemporaryDir scratch;
    const QString ours = scratch.path() + QStringLiteral("/ours");
    ASSERT_TRUE(QDir().mkpath(ours));
    ASSERT_EQ(::chmod(str(ours).c_str(), 0700), 0);

    enum class Taken { OtherUsersFolder, LinkToOurFolder, DanglingLink };
    const struct {
        const char* what;
        Taken taken;
        bool stateHomeSet;
    } cases[] = {
        {"another user's folder, ~/.local/state", Taken::OtherUsersFolder, false},
        {"another user's folder, $XDG_STATE_HOME", Taken::OtherUsersFolder, true},
        {"a link to a folder of ours", Taken::LinkToOurFolder, false},
        {"a link to nowhere", Taken::DanglingLink, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString tmpHome = home.path() + QStringLiteral("/user");
        ::setenv("HOME", str(tmpHome).c_str(), 1);
        const QString stateHome = home.path() + QStringLiteral("/state/of/the/user");
        if (c.stateHomeSet)
            ::setenv("XDG_STATE_HOME", str(stateHome).c_str(), 1);
        else
            ::unsetenv("XDG_STATE_HOME");
        switch (c.taken) {
        case Taken::OtherUsersFolder:
            ASSERT_TRUE(QDir().mkpath(taken));
            ASSERT_EQ(::chmod(str(taken).c_str(), 0700), 0);
            ASSERT_EQ(::chown(str(taken).c_str(), 65534, 65534), 0);
            break;
        case Taken::LinkToOurFolder: ASSERT_TRUE(QFile::link(ours, taken)); break;
        case Taken::DanglingLink: ASSERT_TRUE(QFile::link(ours + QStringLiteral("/missing"), taken)); break;
        }

        const QString expected =
            (c.stateHomeSet ? stateHome : tmpHome + QStringLiteral("/.local/state")) + QStringLiteral("/corvane");
        EXPECT_EQ(str(platform::runtimeDir()), str(expected));
        struct stat info {};
        ASSERT_EQ(::lstat(str(expected).c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_uid, ::geteuid());
        EXPECT_EQ(info.st_mode & 07777, 0700u);

        // Corvane's lock and the updater's: a second holder finds each taken.
        for (const QString& name : {QStringLiteral("Corvane"), QStringLiteral("Velkin-0123456789abcdef")}) {
            int held = -1;
            ASSERT_EQ(platform::acquireInstanceLock(name, &held), InstanceLockResult::Acquired) << str(name);
            EXPECT_EQ(str(platform::instanceLockPath(name)), str(expected + QLatin1Char('/') + name + ".lock"));
            EXPECT_EQ(lockHelper("lock", name), 1) << str(name);
            EXPECT_EQ(lockHelper("guard", name), 1) << str(name);
            ::close(held);
            EXPECT_EQ(lockHelper("lock", name), 0) << str(name);
        }
        // Nothing was made through the link or in the other user's folder.
        EXPECT_TRUE(QDir(ours).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
        if (c.taken == Taken::OtherUsersFolder) {
            EXPECT_TRUE(QDir(taken).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
            ASSERT_TRUE(QDir().rmdir(taken));
        } else {
            ASSERT_TRUE(QFile::remove(taken));
        }
    }

    // The folder in our home taken as well: no lock, the program runs.
    QTemporaryDir home;
    ::setenv("HOME", str(home.path()).c_str(), 1);
    ::unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(QDir().mkpath(taken));
    ASSERT_EQ(::chown(str(taken).c_str(), 65534, 65534), 0);
    const QString homeFolder = home.path() + QStringLiteral("/.local/state/corvane");
    ASSERT_TRUE(QDir().mkpath(homeFolder));
    ASSERT_EQ(::chmod(str(homeFolder).c_str(), 0777), 0);
    EXPECT_EQ(str(platform::runtimeDir()), std::string());
    int handle = 7;
    EXPECT_EQ(platform::acquireInstanceLock(QStringLiteral("Corvane"), &handle), InstanceLockResult::Failed);
    EXPECT_EQ(lockHelper("guard", QStringLiteral("Corvane")), 0);
}

}  // namespace
