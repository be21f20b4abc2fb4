// Finding and ending processes by name and by id.
#include "PlatformTestSupport.h"
#include "platform/Processes.h"
#include "platform/Programs.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <future>
#include <thread>

#include <sys/stat.h>
#include <sys/syscall.h>

using platformtest::Child;
using platformtest::ChildOptions;
using platformtest::str;

namespace {

// Program names of our own, so that no other process on the machine matches.
QString uniqueName(const char* stem) { return QStringLiteral("%1-%2").arg(QLatin1String(stem)).arg(::getpid()); }

// Copies of sleep under the names a test needs, started from a folder of their own.
class ProcessFixture : public ::testing::Test {
protected:
    void TearDown() override {
        platform::setProcessTableRoot(QString());
        platform::setApplicationDir(QString());
    }

    QString program(const QString& name) {
        const QString path = m_dir.path() + QLatin1Char('/') + name;
        if (!QFileInfo::exists(path)) {
            EXPECT_TRUE(platformtest::copyExecutable(QStringLiteral("/bin/sleep"), path));
        }
        return path;
    }
    bool startSleeping(Child& child, const QString& name) {
        ChildOptions options;
        options.argv = {str(program(name)), "300"};
        return child.start(options);
    }

    QTemporaryDir m_dir;
};

TEST_F(ProcessFixture, KillProcessByNameEndsOnlyTheFirstExactlyNamedProcess) {
    const QString name = uniqueName("iTunes");
    const QString otherCase = uniqueName("itunes");
    Child a, b, c;
    ASSERT_TRUE(startSleeping(a, name));
    ASSERT_TRUE(startSleeping(b, name));
    ASSERT_TRUE(startSleeping(c, otherCase));
    Child& first = a.pid() < b.pid() ? a : b;
    Child& second = a.pid() < b.pid() ? b : a;

    // The product's name "X.exe" is the process name "X".
    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(first.killedBy(SIGKILL));
    EXPECT_TRUE(second.running());
    EXPECT_TRUE(c.running());

    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(second.killedBy(SIGKILL));
    EXPECT_TRUE(c.running());

    // Nothing left of that name: still true, and the other letter case lives.
    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(c.running());
}

// The name is the executable's file name in full: not the kernel's short name
// (cut to 15 characters), and still known when the file has been deleted.
TEST_F(ProcessFixture, TheNameIsTheExecutablesFullFileName) {
    const QString longName = uniqueName("iTunesHelperWithALongName");
    ASSERT_GT(longName.size(), 15);
    Child longNamed;
    ASSERT_TRUE(startSleeping(longNamed, longName));
    EXPECT_TRUE(KillProcessByName(longName.left(15) + QStringLiteral(".exe")));
    EXPECT_TRUE(longNamed.running());
    EXPECT_TRUE(KillProcessByName(longName + QStringLiteral(".exe")));
    EXPECT_TRUE(longNamed.killedBy(SIGKILL));

    const QString deletedName = uniqueName("iTunesDeleted");
    Child deleted;
    ASSERT_TRUE(startSleeping(deleted, deletedName));
    ASSERT_TRUE(QFile::remove(program(deletedName)));
    EXPECT_TRUE(KillProcessByName(deletedName + QStringLiteral(".exe")));
    EXPECT_TRUE(deleted.killedBy(SIGKILL));
}

// A zombie of that name comes first but is no process to end: the live one is.
TEST_F(ProcessFixture, ZombiesDoNotMatch) {
    const QString name = uniqueName("iTunesZombie");
    Child zombie, live;
    ASSERT_TRUE(startSleeping(zombie, name));
    ASSERT_EQ(TerminateProcessById(static_cast<std::uint32_t>(zombie.pid())), 0);
    zombie.waitUntilZombie();
    ASSERT_TRUE(startSleeping(live, name));
    if (live.pid() < zombie.pid()) GTEST_SKIP() << "process ids wrapped around";

    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(live.killedBy(SIGKILL));
    EXPECT_TRUE(zombie.killedBy(SIGKILL));
}

// A process that looks for its own name ends the other process of that name,
// never itself, also when it comes first.
TEST_F(ProcessFixture, KillProcessByNameNeverEndsTheCallingProcess) {
    const QString name = uniqueName("iTunesSelf");
    const QString self = m_dir.path() + QLatin1Char('/') + name;
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral(ZN_PLATFORM_TEST_HELPER), self));
    Child caller, other;
    ChildOptions options;
    options.argv = {str(self), "kill", str(name + QStringLiteral(".exe"))};
    options.pipeStdin = true;
    options.pipeStdout = true;
    ASSERT_TRUE(caller.start(options));
    // The second process of the name, another copy of the helper waiting for
    // input, starts later and so comes after the caller in the table.
    ChildOptions waiting = options;
    waiting.argv = {str(self), "kill", "nothing-to-find.exe"};
    ASSERT_TRUE(other.start(waiting));
    if (other.pid() < caller.pid()) GTEST_SKIP() << "process ids wrapped around";

    caller.closeStdin();
    EXPECT_EQ(caller.readStdoutLine(), "result 1");
    EXPECT_EQ(caller.exitCode(), 0);
    other.closeStdin();  // if it is still there, it ends by itself
    EXPECT_TRUE(other.killedBy(SIGKILL));
}

// A process of another user that bears the product's name (started first,
// so it comes first) is left alone, even by root: our own one is ended.
TEST_F(ProcessFixture, OnlyProcessesOfTheCallingUserAreEnded) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can start a process of another user here";
    const QString name = uniqueName("Corvane");
    QTemporaryDir strangerDir;
    // A copy of the helper under the product's name, which gives up root
    // (becomes nobody) before it waits.
    const QString stranger = strangerDir.path() + QLatin1Char('/') + name;
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral(ZN_PLATFORM_TEST_HELPER), stranger));
    Child others, ours;
    ChildOptions options;
    options.argv = {str(stranger), "sleep-unprivileged"};
    options.pipeStdout = true;
    ASSERT_TRUE(others.start(options));
    ASSERT_EQ(others.readStdoutLine(), "ready");
    ASSERT_TRUE(startSleeping(ours, name));
    if (ours.pid() < others.pid()) GTEST_SKIP() << "process ids wrapped around";

    EXPECT_EQ(FindProcessIdByName(name + QStringLiteral(".exe")), static_cast<std::uint32_t>(ours.pid()));
    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(ours.killedBy(SIGKILL));
    EXPECT_TRUE(others.running());
    // With only the stranger left there is nothing of ours to end.
    EXPECT_EQ(FindProcessIdByName(name + QStringLiteral(".exe")), 0u);
    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(others.running());
}

// Of two processes of the name, the one whose executable lies in the
// application folder is chosen, also when the other comes first; without one
// there, the first.
TEST_F(ProcessFixture, TheProcessFromTheApplicationFolderIsPreferred) {
    const QString name = uniqueName("CorvaneApp");
    QTemporaryDir appDir;
    const QString inApp = appDir.path() + QLatin1Char('/') + name;
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral("/bin/sleep"), inApp));
    Child outsider, product, later;
    ASSERT_TRUE(startSleeping(outsider, name));
    ChildOptions options;
    options.argv = {str(inApp), "300"};
    ASSERT_TRUE(product.start(options));
    if (product.pid() < outsider.pid()) GTEST_SKIP() << "process ids wrapped around";

    platform::setApplicationDir(appDir.path());
    EXPECT_EQ(FindProcessIdByName(name + QStringLiteral(".exe")), static_cast<std::uint32_t>(product.pid()));
    EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
    EXPECT_TRUE(product.killedBy(SIGKILL));
    EXPECT_TRUE(outsider.running());

    ASSERT_TRUE(startSleeping(later, name));
    platform::setApplicationDir(m_dir.path() + QStringLiteral("/elsewhere"));
    const auto first = static_cast<std::uint32_t>(std::min(outsider.pid(), later.pid()));
    EXPECT_EQ(FindProcessIdByName(name + QStringLiteral(".exe")), first);
}

TEST_F(ProcessFixture, TerminateProcessByIdEndsARealProcess) {
    Child child;
    ASSERT_TRUE(startSleeping(child, uniqueName("victim")));
    EXPECT_EQ(TerminateProcessById(static_cast<std::uint32_t>(child.pid())), 0);
    EXPECT_TRUE(child.killedBy(SIGKILL));
}

// The updater's look-up: the id of the first exactly named process (the
// other letter case is another name), 0 when none runs, and the all-bits-set
// value when the table cannot be read, which TerminateProcessById refuses.
TEST_F(ProcessFixture, FindProcessIdByNameFindsTheFirstExactlyNamedProcess) {
    const QString name = uniqueName("Product");
    Child a, b, upper;
    ASSERT_TRUE(startSleeping(a, name));
    ASSERT_TRUE(startSleeping(b, name));
    ASSERT_TRUE(startSleeping(upper, uniqueName("PRODUCT")));
    const auto first = static_cast<std::uint32_t>(std::min(a.pid(), b.pid()));

    EXPECT_EQ(FindProcessIdByName(name + QStringLiteral(".exe")), first);
    EXPECT_EQ(FindProcessIdByName(uniqueName("product") + QStringLiteral(".exe")), 0u);
    EXPECT_EQ(FindProcessIdByName(QString()), 0u);
    EXPECT_TRUE(a.running());
    EXPECT_TRUE(b.running());

    platform::setProcessTableRoot(m_dir.path() + QStringLiteral("/no-such-table"));
    const std::uint32_t failed = FindProcessIdByName(name + QStringLiteral(".exe"));
    EXPECT_EQ(failed, 0xFFFFFFFFu);
    EXPECT_EQ(TerminateProcessById(failed), -1);
    EXPECT_TRUE(a.running());
    EXPECT_TRUE(b.running());
    EXPECT_TRUE(upper.running());
}

// Ids that do not name one real process are refused: as kill() arguments 0
// and negative values would address our process group or every process. A
// sleeping child in our own process group shows that nothing was sent to it.
TEST_F(ProcessFixture, TerminateProcessByIdRefusesWhatIsNotOneProcess) {
    Child bystander;
    ASSERT_TRUE(startSleeping(bystander, uniqueName("bystander")));

    Child gone;
    ASSERT_TRUE(startSleeping(gone, uniqueName("gone")));
    ::kill(gone.pid(), SIGKILL);
    gone.wait();

    const struct {
        const char* what;
        std::uint32_t id;
    } cases[] = {
        {"zero", 0},
        {"all bits set (-1, the failed look-up)", 0xFFFFFFFFu},
        {"-2", 0xFFFFFFFEu},
        {"INT_MIN", 0x80000000u},
        {"largest int, beyond any pid", static_cast<std::uint32_t>(INT_MAX)},
        {"a process that has ended", static_cast<std::uint32_t>(gone.pid())},
    };
    for (const auto& c : cases) EXPECT_EQ(TerminateProcessById(c.id), -1) << c.what;
    EXPECT_TRUE(bystander.running());
}

// A thread id is not a process: ending "it" must not end its process (us).
TEST_F(ProcessFixture, TerminateProcessByIdRefusesAThreadId) {
    std::promise<std::uint32_t> tid;
    std::promise<void> done;
    std::thread worker([&] {
        tid.set_value(static_cast<std::uint32_t>(::syscall(SYS_gettid)));
        done.get_future().wait();
    });
    const std::uint32_t threadId = tid.get_future().get();
    EXPECT_NE(threadId, static_cast<std::uint32_t>(::getpid()));
    EXPECT_EQ(TerminateProcessById(threadId), -1);
    done.set_value();
    worker.join();
}

// A process we have no right to signal cannot be opened for termination.
TEST_F(ProcessFixture, TerminateProcessByIdWithoutTheRightAnswersMinusOne) {
    Child target;
    std::uint32_t targetId = 1;
    if (::geteuid() == 0) {
        ASSERT_TRUE(startSleeping(target, uniqueName("privileged")));  // the helper gives up root
        targetId = static_cast<std::uint32_t>(target.pid());
    } else {
        struct stat init {};
        if (::stat("/proc/1", &init) != 0 || init.st_uid == ::getuid()) GTEST_SKIP() << "no process of another user";
    }
    Child helper;
    ChildOptions options;
    options.argv = {ZN_PLATFORM_TEST_HELPER, "terminate-unprivileged", std::to_string(targetId)};
    options.pipeStdout = true;
    ASSERT_TRUE(helper.start(options));
    EXPECT_EQ(helper.readStdoutLine(), "result -1");
    EXPECT_EQ(helper.exitCode(), 0);
    if (target.pid() > 0) {
        EXPECT_TRUE(target.running());
    }
}

// The real table lists us under our executable's name.
TEST_F(ProcessFixture, TheProcessTableListsTheCallerByItsExecutable) {
    std::vector<platform::ProcessEntry> entries;
    ASSERT_TRUE(platform::processSnapshot(&entries));
    const QString ownName = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
    bool found = false;
    for (const auto& entry : entries)
        if (entry.processId == static_cast<std::uint32_t>(::getpid())) found = entry.name == ownName;
    EXPECT_TRUE(found);
    for (std::size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i - 1].processId, entries[i].processId);
}

// The naming rule on a made-up process table: the order is numeric, and names
// come from the executable link (without " (deleted)"), else from argv[0];
// zombies, nameless entries and entries that are no process ids are left out.
TEST_F(ProcessFixture, TheNamingRuleOnAMadeUpProcessTable) {
    QTemporaryDir root;
    struct Entry {
        const char* dir;
        const char* stat;  // null: no stat file
        const char* exe;   // link target, null: no link
        QByteArray cmdline;
    };
    const Entry table[] = {
        {"7", "7 (iTunes) S 1 7 7", "/opt/apple/iTunes", QByteArray("/opt/apple/iTunes\0", 18)},
        {"10", "10 (Pellact) S 1 10 10", "/opt/zn/Pellact (deleted)", QByteArray()},
        {"100", "100 (iTunesHelper) S 1 100 100", nullptr, QByteArray("/usr/lib/iTunes Helper\0--quiet\0", 31)},
        {"8", "8 (relative) S 1 8 8", "relative-name", QByteArray()},
        {"55", "55 (odd) name) (x) Z 1 55 55", "/opt/apple/iTunes", QByteArray()},
        {"300", "300 (kworker/0:1) I 2 0 0", nullptr, QByteArray()},
        {"0042", "42 (iTunes) S 1 42 42", "/opt/apple/iTunes", QByteArray()},
        {"12a", "12 (iTunes) S 1 12 12", "/opt/apple/iTunes", QByteArray()},
        {"99999999999", "1 (iTunes) S 1 1 1", "/opt/apple/iTunes", QByteArray()},
        {"self", "1 (iTunes) S 1 1 1", "/opt/apple/iTunes", QByteArray()},
    };
    for (const Entry& e : table) {
        const QString dir = root.path() + QLatin1Char('/') + QLatin1String(e.dir);
        ASSERT_TRUE(QDir().mkpath(dir));
        if (e.stat) {
            ASSERT_TRUE(platformtest::writeFile(dir + QStringLiteral("/stat"), e.stat));
        }
        if (e.exe) {
            ASSERT_TRUE(QFile::link(QString::fromUtf8(e.exe), dir + QStringLiteral("/exe")));
        }
        ASSERT_TRUE(platformtest::writeFile(dir + QStringLiteral("/cmdline"), e.cmdline));
    }
    platform::setProcessTableRoot(root.path());
    std::vector<platform::ProcessEntry> entries;
    ASSERT_TRUE(platform::processSnapshot(&entries));
    std::vector<std::pair<std::uint32_t, QString>> got;
    for (const auto& entry : entries) got.emplace_back(entry.processId, entry.name);
    const std::vector<std::pair<std::uint32_t, QString>> expected = {
        {7, QStringLiteral("iTunes")},
        {8, QStringLiteral("relative-name")},
        {10, QStringLiteral("Pellact")},
        {100, QStringLiteral("iTunes Helper")},
    };
    EXPECT_EQ(got, expected);
}

TEST_F(ProcessFixture, AnUnreadableProcessTableIsReported) {
    platform::setProcessTableRoot(m_dir.path() + QStringLiteral("/no-such-table"));
    std::vector<platform::ProcessEntry> entries{{1, QStringLiteral("x"), QString(), -1}};
    EXPECT_FALSE(platform::processSnapshot(&entries));
    EXPECT_TRUE(entries.empty());

    ::testing::internal::CaptureStdout();
    const bool result = KillProcessByName(QStringLiteral("iTunes.exe"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "CreateToolhelp32Snapshot failed!\n");
    EXPECT_FALSE(result);
}

// What the ending hook does: the chosen process dies and another takes its id.
struct IdTakeover {
    Child* chosen = nullptr;
    Child* taker = nullptr;
    ChildOptions takerOptions;
    bool waitForReady = false;
    pid_t takerPid = 0;
    int calls = 0;
};
IdTakeover g_takeover;

void letAnotherProcessTakeTheId(std::uint32_t processId) {
    ++g_takeover.calls;
    if (static_cast<pid_t>(processId) != g_takeover.chosen->pid()) return;
    ::kill(g_takeover.chosen->pid(), SIGKILL);
    g_takeover.chosen->wait();
    // In a process-id namespace of our own nobody else starts processes: the
    // next one gets the id after the one written here.
    QFile lastPid(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
    if (!lastPid.open(QIODevice::WriteOnly) || lastPid.write(QByteArray::number(processId - 1)) <= 0) return;
    lastPid.close();
    if (!g_takeover.taker->start(g_takeover.takerOptions)) return;
    if (g_takeover.waitForReady && g_takeover.taker->readStdoutLine() != "ready") return;
    g_takeover.takerPid = g_takeover.taker->pid();
}

// The process chosen from the table dies, and another process takes its id
// before it is opened. That process is not ended: it is checked after it has
// been opened, and the signal goes through the descriptor. What this proves:
// a check that comes before the process is opened fails here (as does ending
// by id); it does not reach into the kernel between opening and signalling,
// where the descriptor itself keeps the signal on the process it was opened on.
TEST(EndingByName, AProcessThatTookTheIdMeanwhileIsNotEnded) {
    if (!platformtest::inNamespaces()) {
        // Process ids of its own, so that the test can hand an id on.
        QByteArray log;
        const int code =
            platformtest::rerunInNamespaces({"--pid", "--fork", "--mount", "--mount-proc", "--propagation", "private"},
                                            "", "EndingByName.AProcessThatTookTheIdMeanwhileIsNotEnded", &log);
        if (code == -2) GTEST_SKIP() << "no process-id namespace can be made here";
        EXPECT_EQ(code, 0) << log.constData();
        EXPECT_TRUE(log.contains("[  PASSED  ] 1 test")) << log.constData();
        return;
    }
    QTemporaryDir dir;
    const QString name = QStringLiteral("iTunes-taken");
    const QString chosenProgram = dir.path() + QLatin1Char('/') + name;
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral("/bin/sleep"), chosenProgram));
    const QString otherProgram = dir.path() + QStringLiteral("/unrelated");
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral("/bin/sleep"), otherProgram));
    // The helper under the same name, running as another user.
    const QString namesake = dir.path() + QStringLiteral("/other-user/") + name;
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/other-user")));
    ASSERT_TRUE(platformtest::copyExecutable(QStringLiteral(ZN_PLATFORM_TEST_HELPER), namesake));
    ASSERT_EQ(::chmod(str(dir.path()).c_str(), 0755), 0);
    ASSERT_EQ(::chmod(str(namesake).c_str(), 0755), 0);

    const struct {
        const char* what;
        std::vector<std::string> argv;
        bool waitForReady;
    } cases[] = {
        {"an unrelated program of ours", {str(otherProgram), "300"}, false},
        {"a program of that name of another user", {str(namesake), "sleep-unprivileged"}, true},
    };
    platform::setProcessEndingHook(&letAnotherProcessTakeTheId);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Child chosen, taker;
        ChildOptions options;
        options.argv = {str(chosenProgram), "300"};
        ASSERT_TRUE(chosen.start(options));
        const pid_t id = chosen.pid();
        g_takeover = IdTakeover{};
        g_takeover.chosen = &chosen;
        g_takeover.taker = &taker;
        g_takeover.takerOptions.argv = c.argv;
        g_takeover.takerOptions.pipeStdout = c.waitForReady;
        g_takeover.waitForReady = c.waitForReady;

        EXPECT_TRUE(KillProcessByName(name + QStringLiteral(".exe")));
        EXPECT_EQ(g_takeover.calls, 1);
        ASSERT_EQ(g_takeover.takerPid, id) << "the id was not handed on";
        // Had it been sent SIGKILL, it would die of that whatever comes later.
        ASSERT_EQ(::kill(taker.pid(), SIGTERM), 0);
        const int status = taker.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "the process that took the id was ended";
    }
    platform::setProcessEndingHook(nullptr);
}

}  // namespace
