// Starting programs detached: arguments, environment, session and signals as
// the program sees them, failures to start, and starts while other threads are
// busy allocating memory (a start that works in the forked child with the
// allocator could wait forever there for a lock another thread held at the fork).
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PlatformTestSupport.h"
#include "platform/DetachedProcess.h"

namespace {

QByteArray readWhenComplete(const QString& path) {
    // The program writes its report, then the ".done" mark.
    for (int i = 0; i < 3000 && !QFile::exists(path + ".done"); ++i) usleep(10000);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeScript(const QString& path, const QByteArray& body) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// The field of /proc/<pid>/status named `name`.
QByteArray statusField(const QByteArray& status, const QByteArray& name) {
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(name + ":")) return line.mid(name.size() + 1).trimmed();
    return QByteArray();
}

}  // namespace

TEST(DetachedProcess, TheProgramGetsItsArgumentsEnvironmentAndASessionOfItsOwn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.path() + "/report";
    const QString out = dir.path() + "/out";
    writeScript(script,
                "{ for a in \"$@\"; do echo \"[$a]\"; done\n"
                "  echo \"pid $$\"; echo \"ppid $PPID\"; echo \"var $ZN_DETACHED_TEST\"\n"
                "  echo \"sid $(cut -d' ' -f6 /proc/$$/stat)\"\n"
                // The shell reads its own status with builtins: a child such
                // as cat would read it while the shell forks, and dash blocks
                // every signal around a fork.
                "  while IFS= read -r line; do echo \"$line\"; done < /proc/$$/status; } > \"" +
                    out.toUtf8() + "\"; touch \"" + out.toUtf8() + ".done\"");
    qputenv("ZN_DETACHED_TEST", "from the caller");
    // The caller ignores SIGPIPE and blocks SIGTERM: the program does neither.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGPIPE, &ignore, &previous);
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);

    qint64 pid = 0;
    const bool started =
        platform::startDetached(script, {"one", "two words", "", QString::fromUtf8("\xc3\xa4 umlaut")}, &pid);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    sigaction(SIGPIPE, &previous, nullptr);
    qunsetenv("ZN_DETACHED_TEST");
    ASSERT_TRUE(started);

    const QByteArray report = readWhenComplete(out);
    ASSERT_FALSE(report.isEmpty());
    const QList<QByteArray> lines = report.split('\n');
    ASSERT_GE(lines.size(), 8);
    EXPECT_EQ(lines[0], "[one]");
    EXPECT_EQ(lines[1], "[two words]");
    EXPECT_EQ(lines[2], "[]");
    EXPECT_EQ(lines[3], QByteArray("[\xc3\xa4 umlaut]"));
    EXPECT_EQ(lines[4], "pid " + QByteArray::number(pid));
    // Its parent is the short-lived starter (or, once that has gone, the
    // system's reaper), never the caller.
    EXPECT_NE(lines[5], "ppid " + QByteArray::number(getpid()));
    EXPECT_EQ(lines[6], "var from the caller");
    EXPECT_EQ(lines[7], "sid " + QByteArray::number(pid));
    // No signal blocked or ignored because the caller blocked or ignored it.
    EXPECT_EQ(statusField(report, "SigBlk").toULongLong(nullptr, 16), 0u);
    EXPECT_EQ(statusField(report, "SigIgn").toULongLong(nullptr, 16) & (1ull << (SIGPIPE - 1)), 0u);
}

TEST(DetachedProcess, AProgramThatCannotBeStartedIsReported) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.path() + "/not-a-program");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("text");
    plain.close();
    qint64 pid = 12345;
    EXPECT_FALSE(platform::startDetached(dir.path() + "/missing", {}, &pid));
    EXPECT_FALSE(platform::startDetached(dir.path() + "/not-a-program", {}, &pid));
    EXPECT_FALSE(platform::startDetached("zn-no-such-program-anywhere", {}, &pid));
    EXPECT_EQ(pid, 12345);
    // A bare name is looked up on the search path.
    EXPECT_TRUE(platform::startDetached("true", {}, &pid));
    EXPECT_GT(pid, 0);
}

TEST(DetachedProcess, StartsWhileOtherThreadsAllocate) {
    // The started programs are handed to us as their reaper here, and reaped.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int t = 0; t < 3; ++t)
        busy.emplace_back([&stop] {
            while (!stop.load()) {
                std::vector<std::string*> blocks;
                for (int i = 0; i < 100; ++i) blocks.push_back(new std::string(size_t(200 + i), 'x'));
                for (std::string* block : blocks) delete block;
            }
        });
    int started = 0;
    for (int i = 0; i < 100; ++i) started += platform::startDetached("/bin/true", {"a", "b"}) ? 1 : 0;
    stop = true;
    for (std::thread& thread : busy) thread.join();
    EXPECT_EQ(started, 100);
    int status = 0;
    while (waitpid(-1, &status, 0) > 0 || errno == EINTR) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}
