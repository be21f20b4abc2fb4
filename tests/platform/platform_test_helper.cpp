// Helper program of the platform tests: does one thing in a process of its own
// and reports on standard output or by its exit code.
//
//   kill <program name>          waits for end of input, then KillProcessByName;
//                                prints "result <0|1>"
//   lock <name>                  acquireInstanceLock: exit 0 acquired, 1 already
//                                exists, 2 failed
//   guard <name>                 CSingleInstanceGuard::Acquire: exit 0 true, 1 false
//   hold <name> <program> [arg]  takes the lock, starts the program detached,
//                                prints "child <pid>" and waits to be killed
//   terminate-unprivileged <pid> as an unprivileged user (root gives up its
//                                rights first): prints TerminateProcessById's result
//   sleep-unprivileged           as an unprivileged user: prints "ready" and
//                                waits to be killed
//   crash <kind> <guarded|unguarded> [no-dac-override]
//                                installs the crash dump, tries to replace it in
//                                every way there is, reports, then crashes:
//                                segv-thread, abort, bus, ill, fpe, stack-overflow
#include "startup/CrashDump.h"
#include "startup/SingleInstanceGuard.h"
#include "platform/CrashHandler.h"
#include "platform/InstanceLock.h"
#include "platform/Processes.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Not declared by the C library's headers in GNU mode, but exported.
extern "C" __sighandler_t bsd_signal(int, __sighandler_t);

namespace {

int usage() {
    std::fputs("usage: see the head of platform_test_helper.cpp\n", stderr);
    return 64;
}

void line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int killMode(const char* name) {
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    const bool result = KillProcessByName(QString::fromLocal8Bit(name));
    line(std::string("result ") + (result ? "1" : "0"));
    return 0;
}

int lockMode(const char* name) {
    int handle = -1;
    switch (platform::acquireInstanceLock(QString::fromLocal8Bit(name), &handle)) {
    case platform::InstanceLockResult::Acquired: return 0;
    case platform::InstanceLockResult::AlreadyExists: return 1;
    case platform::InstanceLockResult::Failed: return 2;
    }
    return 3;
}

int guardMode(const char* name) {
    CSingleInstanceGuard guard;
    return guard.Acquire(QString::fromLocal8Bit(name)) ? 0 : 1;
}

int holdMode(int argc, char* argv[]) {
    int handle = -1;
    if (platform::acquireInstanceLock(QString::fromLocal8Bit(argv[2]), &handle) !=
        platform::InstanceLockResult::Acquired)
        return 3;
    QStringList arguments;
    for (int i = 4; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    qint64 pid = 0;
    if (!QProcess::startDetached(QString::fromLocal8Bit(argv[3]), arguments, QString(), &pid)) return 4;
    line("child " + std::to_string(pid));
    for (;;) ::pause();
}

bool dropToNobody() {
    if (::geteuid() != 0) return true;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
           ::setresuid(65534, 65534, 65534) == 0;
}

int terminateMode(const char* pid) {
    if (!dropToNobody()) return 4;
    line("result " + std::to_string(TerminateProcessById(static_cast<std::uint32_t>(std::stoul(pid)))));
    return 0;
}

int sleepUnprivilegedMode() {
    if (!dropToNobody()) return 4;
    line("ready");
    for (;;) ::pause();
}

// Root may write anywhere: without these capabilities it obeys the folder's
// permissions like everyone else.
bool dropFileCapabilities() {
    if (::geteuid() != 0) return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[cap / 32].effective &= ~(1U << (cap % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

volatile sig_atomic_t g_otherSignalSeen = 0;
void otherSignal(int) { g_otherSignalSeen = 1; }

void replacementAttempt(int signalNumber, bool& allReportedSuccess) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    allReportedSuccess = ::sigaction(signalNumber, &action, nullptr) == 0 && allReportedSuccess;
    action.sa_handler = SIG_IGN;
    struct sigaction previous {};
    allReportedSuccess = ::sigaction(signalNumber, &action, &previous) == 0 && allReportedSuccess;
    allReportedSuccess = ::signal(signalNumber, SIG_DFL) != SIG_ERR && allReportedSuccess;
    allReportedSuccess = ::sysv_signal(signalNumber, SIG_DFL) != SIG_ERR && allReportedSuccess;
    allReportedSuccess = ::bsd_signal(signalNumber, SIG_DFL) != SIG_ERR && allReportedSuccess;
    allReportedSuccess = ::ssignal(signalNumber, SIG_DFL) != SIG_ERR && allReportedSuccess;
    // The old System V interfaces, deliberately.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    allReportedSuccess = ::sigset(signalNumber, SIG_DFL) != SIG_ERR && allReportedSuccess;
    allReportedSuccess = ::sigignore(signalNumber) == 0 && allReportedSuccess;
#pragma GCC diagnostic pop
}

// Deeper than any stack (read at run time, so the compiler sees an end).
volatile int g_overflowDepth = 1 << 30;

__attribute__((noinline)) int overflowStack(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    if (depth >= g_overflowDepth) return frame[0];
    return overflowStack(depth + 1) + frame[0];
}

// The address the thread writes to (read at run time: the compiler does not
// know it is bad).
volatile std::uintptr_t g_badAddress = 0x10;

[[noreturn]] void crashOnPurpose(const std::string& kind) {
    if (kind == "abort") {
        std::abort();
    } else if (kind == "bus") {
        // Touching a mapping beyond the end of its (empty) file.
        const int fd = static_cast<int>(::syscall(SYS_memfd_create, "bus", 0));
        auto* page = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        page[0] = 1;
    } else if (kind == "ill") {
        __builtin_trap();
    } else if (kind == "fpe") {
        ::raise(SIGFPE);
    } else if (kind == "stack-overflow") {
        overflowStack(0);
    }
    std::_Exit(70);  // the crash did not happen
}

int crashMode(int argc, char* argv[]) {
    const std::string kind = argv[2];
    const std::string how = argv[3];
    const bool noDac = argc > 4 && std::strcmp(argv[4], "no-dac-override") == 0;
    // A crash is reported by our handler, never by a core file.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (noDac) {
        if (!dropFileCapabilities()) return 4;
        const int probe = ::open("probe", O_WRONLY | O_CREAT, 0644);
        if (probe >= 0) {  // the folder is writable after all
            ::close(probe);
            ::unlink("probe");
            return 5;
        }
    }

    if (how == "guarded")
        SetCrashDumpHandler();
    else
        platform::installCrashHandler(&CrashDumpFilter);

    bool allReportedSuccess = true;
    for (const int signalNumber : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        replacementAttempt(signalNumber, allReportedSuccess);
    // ... and from a library loaded later.
    void* thief = ::dlopen(ZN_SIGNAL_THIEF_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto* steal = thief ? reinterpret_cast<int (*)()>(::dlsym(thief, "zn_replace_crash_handlers")) : nullptr;
    if (!steal) return 6;
    allReportedSuccess = steal() == 0 && allReportedSuccess;
    line(std::string("attempts reported success ") + (allReportedSuccess ? "yes" : "no"));

    bool kept = true;
    for (const int signalNumber : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        struct sigaction current {};
        ::sigaction(signalNumber, nullptr, &current);
        kept = kept && (current.sa_flags & SA_SIGINFO) && current.sa_sigaction == &CrashDumpFilter;
    }
    line(std::string("handlers kept ") + (kept ? "yes" : "no"));

    // Other signals are not touched by the guard.
    ::signal(SIGUSR1, &otherSignal);
    ::raise(SIGUSR1);
    line(std::string("other signals pass ") + (g_otherSignalSeen ? "yes" : "no"));

    if (kind == "segv-thread") {
        std::thread worker([] {
            line("crashing thread " + std::to_string(::syscall(SYS_gettid)));
            *reinterpret_cast<volatile int*>(g_badAddress) = 1;
        });
        worker.join();
        return 70;
    }
    line("crashing thread " + std::to_string(::syscall(SYS_gettid)));
    crashOnPurpose(kind);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    if (mode == "kill" && argc == 3) return killMode(argv[2]);
    if (mode == "lock" && argc == 3) return lockMode(argv[2]);
    if (mode == "guard" && argc == 3) return guardMode(argv[2]);
    if (mode == "hold" && argc >= 4) return holdMode(argc, argv);
    if (mode == "terminate-unprivileged" && argc == 3) return terminateMode(argv[2]);
    if (mode == "sleep-unprivileged" && argc == 2) return sleepUnprivilegedMode();
    if (mode == "crash" && argc >= 4) return crashMode(argc, argv);
    return usage();
}
