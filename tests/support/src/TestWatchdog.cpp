// The hang watchdog every test program runs under (see zn_add_test):
//
//   ZnTestWatchdog <ctest-timeout-seconds> <program> [arguments...]
//
// Runs the program as its child with the same standard streams, environment
// and process group, and ends with its exit code (or dies of the signal it died
// of), so that CTest sees the test itself. When the program is still running
// shortly before CTest's own time limit, the watchdog prints the stack of every
// thread of it with gdb ("thread apply all bt"), so that a hang shows where it
// stands, then kills it and fails. Signals that ask the watchdog to end are
// passed on to the program, and the program is killed if the watchdog itself
// dies (so it never outlives a test run that was cut short).
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The test gets this much of CTest's limit; the rest is left for the stack dump
// and the kill, so that the watchdog, not CTest, ends a hung test.
struct Limits {
    int testSeconds;
    int dumpSeconds;
};

Limits limitsFor(int ctestTimeout) {
    int margin = ctestTimeout / 10;
    if (margin < 15) margin = 15;
    if (margin > 60) margin = 60;
    if (margin > ctestTimeout / 3) margin = ctestTimeout / 3;
    Limits limits;
    limits.testSeconds = ctestTimeout - margin;
    if (limits.testSeconds < 1) limits.testSeconds = 1;
    limits.dumpSeconds = margin - 3;
    if (limits.dumpSeconds < 1) limits.dumpSeconds = 1;
    return limits;
}

const int kForwarded[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Waits for `pid` to end, at most `seconds` (< 0: without a limit), handling the
// signals blocked in `waitSet`: SIGCHLD wakes the wait, the forwarded signals are
// passed to `forwardTo` (when > 0). True when it ended; its wait status in *status.
bool waitFor(pid_t pid, double seconds, const sigset_t& waitSet, pid_t forwardTo, int* status) {
    const double deadline = monotonicSeconds() + seconds;
    for (;;) {
        const pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) {
            // Not a child to wait for (any more): counts as a failed end.
            *status = 1 << 8;
            return true;
        }
        int sig;
        if (seconds < 0) {
            sig = sigwaitinfo(&waitSet, nullptr);
        } else {
            const double left = deadline - monotonicSeconds();
            if (left <= 0) return false;
            timespec timeout{};
            timeout.tv_sec = time_t(left);
            timeout.tv_nsec = long((left - double(timeout.tv_sec)) * 1e9);
            sig = sigtimedwait(&waitSet, nullptr, &timeout);
        }
        if (sig > 0 && sig != SIGCHLD && forwardTo > 0) kill(forwardTo, sig);
    }
}

// Starts `argv[0]` with the signal mask `mask`. A helper (gdb) reads nothing
// and writes its output to standard error. The child dies with the watchdog.
pid_t spawn(char* const argv[], const sigset_t& mask, bool helper) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (helper) {
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    if (helper)
        execvp(argv[0], argv);
    else
        execv(argv[0], argv);
    std::fprintf(stderr, "watchdog: cannot start %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

// Prints the stack of every thread of `pid` to standard error with gdb,
// waiting at most `seconds` for it.
void dumpStacks(pid_t pid, int seconds, const sigset_t& mask, const sigset_t& waitSet) {
    const std::string target = std::to_string(pid);
    const char* argv[] = {"gdb",          "-p",  target.c_str(),        "-batch",
                          "-nx",          "-ex", "set pagination off",  "-ex",
                          "info threads", "-ex", "thread apply all bt", nullptr};
    const pid_t gdb = spawn(const_cast<char* const*>(argv), mask, true);
    if (gdb < 0) {
        std::fprintf(stderr, "watchdog: cannot start gdb: %s\n", std::strerror(errno));
        return;
    }
    int status = 0;
    if (!waitFor(gdb, seconds, waitSet, pid, &status)) {
        std::fprintf(stderr, "watchdog: gdb did not finish within %d s; stopped\n", seconds);
        kill(gdb, SIGKILL);
        waitpid(gdb, &status, 0);
    }
}

// Ends the watchdog the way the test ended: with its exit code, or with the
// signal that killed it (without a core file of the watchdog).
[[noreturn]] void endLike(int status) {
    if (WIFEXITED(status)) std::exit(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        signal(sig, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        sigprocmask(SIG_UNBLOCK, &only, nullptr);
        raise(sig);
    }
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const long ctestTimeout = argc >= 3 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc < 3 || !end || *end != '\0' || ctestTimeout <= 0) {
        std::fprintf(stderr, "usage: %s <ctest-timeout-seconds> <program> [arguments...]\n", argv[0]);
        return 2;
    }
    const Limits limits = limitsFor(int(ctestTimeout));
    // Children must stay waitable (an ignored SIGCHLD is inherited through exec).
    signal(SIGCHLD, SIG_DFL);

    // The signals the watchdog waits for are blocked and taken with
    // sigtimedwait; the program gets the mask the watchdog was started with.
    sigset_t original, waitSet;
    sigemptyset(&waitSet);
    sigaddset(&waitSet, SIGCHLD);
    for (int sig : kForwarded) sigaddset(&waitSet, sig);
    sigprocmask(SIG_BLOCK, &waitSet, &original);

    const pid_t test = spawn(argv + 2, original, false);
    if (test < 0) {
        std::fprintf(stderr, "watchdog: cannot start %s: %s\n", argv[2], std::strerror(errno));
        return 127;
    }
    int status = 0;
    if (waitFor(test, limits.testSeconds, waitSet, test, &status)) endLike(status);

    std::fprintf(stderr,
                 "\nwatchdog: %s (pid %d) is still running after %d s; the stacks of its threads follow, "
                 "then it is killed\n",
                 argv[2], int(test), limits.testSeconds);
    std::fflush(stderr);
    dumpStacks(test, limits.dumpSeconds, original, waitSet);
    kill(test, SIGKILL);
    waitpid(test, &status, 0);
    std::fprintf(stderr, "watchdog: %s killed after %d s\n", argv[2], limits.testSeconds);
    return 124;
}
