#include "platform/CrashHandler.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/RegularFile.h"

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

using SigactionFunction = int (*)(int, const struct sigaction*, struct sigaction*);

// The C library's sigaction(), past the program's own definition that refuses
// changes to the crash signals once they are locked (CrashGuard.cpp): installing
// the crash handler itself is always let through.
SigactionFunction realSigaction() {
    static std::atomic<SigactionFunction> slot{nullptr};
    SigactionFunction function = slot.load(std::memory_order_acquire);
    if (!function) {
        function = reinterpret_cast<SigactionFunction>(::dlsym(RTLD_NEXT, "sigaction"));
        slot.store(function, std::memory_order_release);
    }
    return function;
}

// --- Writing the report: async-signal-safe calls only --------------------------

class ReportWriter {
public:
    explicit ReportWriter(int fd) : m_fd(fd) {}
    ~ReportWriter() { flush(); }

    ReportWriter& text(const char* s) {
        while (*s) byte(*s++);
        return *this;
    }
    ReportWriter& decimal(long long value) {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        unsigned long long rest =
            negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        do {
            digits[n++] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } while (rest);
        if (negative) byte('-');
        while (n) byte(digits[--n]);
        return *this;
    }
    ReportWriter& hex(std::uintptr_t value) {
        char digits[2 * sizeof value];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xf];
            value >>= 4;
        } while (value);
        text("0x");
        while (n) byte(digits[--n]);
        return *this;
    }
    void flush() {
        writeAll(m_buffer, m_used);
        m_used = 0;
    }
    void writeAll(const char* data, std::size_t size) {
        while (size) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

private:
    void byte(char c) {
        if (m_used == sizeof m_buffer) flush();
        m_buffer[m_used++] = c;
    }

    int m_fd;
    char m_buffer[512];
    std::size_t m_used = 0;
};

const char* signalName(int signalNumber) {
    switch (signalNumber) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "unknown";
    }
}

// Room for the handler, the backtrace and the report on a thread whose own stack
// has run out.
constexpr std::size_t kAlternateStackSize = 128 * 1024;
alignas(64) char g_alternateStack[kAlternateStackSize];

void ensureAlternateStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAlternateStackSize)
        return;
    stack_t ours{};
    ours.ss_sp = g_alternateStack;
    ours.ss_size = kAlternateStackSize;
    ours.ss_flags = 0;
    ::sigaltstack(&ours, nullptr);
}

// Opens the report file for writing, or -1: a regular file only, so that a
// FIFO with no reader cannot hold the crashing process (and with it the
// instance lock) for ever, nor a link send the report elsewhere.
int openReportFile(const char* fileName) {
    const int fd = platform::openRegularFileToWrite(fileName, 0600);
    // The report holds the memory map: readable by its owner only, also when
    // an older report was there with a wider mode.
    if (fd >= 0) ::fchmod(fd, 0600);
    return fd;
}

}  // namespace

namespace platform {

bool isCrashSignal(int signalNumber) {
    for (const int crash : kCrashSignals)
        if (signalNumber == crash) return true;
    return false;
}

bool installCrashHandler(CrashHandler handler) {
    // The first backtrace loads the unwinder (libgcc_s); the handler must not.
    void* frames[4];
    ::backtrace(frames, 4);
    ensureAlternateStack();

    const SigactionFunction real = realSigaction();
    if (!real) return false;
    struct sigaction action {};
    action.sa_sigaction = handler;
    sigfillset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    bool all = true;
    for (const int signalNumber : kCrashSignals) all = real(signalNumber, &action, nullptr) == 0 && all;
    return all;
}

bool writeCrashReport(const char* fileName, const CrashSignal* crash) {
    const int fd = openReportFile(fileName);
    if (fd < 0) return false;
    {
        ReportWriter out(fd);
        out.text("crash report\n");
        if (crash) {
            out.text("signal: ")
                .decimal(crash->signalNumber)
                .text(" (")
                .text(signalName(crash->signalNumber))
                .text(")\n");
            if (crash->info) {
                out.text("signal code: ").decimal(crash->info->si_code).text("\n");
                out.text("fault address: ").hex(reinterpret_cast<std::uintptr_t>(crash->info->si_addr)).text("\n");
            }
        }
        out.text("process id: ").decimal(::getpid()).text("\n");
        out.text("thread id: ").decimal(::syscall(SYS_gettid)).text("\n");
        out.text("backtrace:\n");
        out.flush();
        void* frames[64];
        const int count = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, count, fd);

        out.text("modules:\n");
        out.flush();
        const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
        if (maps >= 0) {
            char chunk[4096];
            for (;;) {
                const ssize_t n = ::read(maps, chunk, sizeof chunk);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                out.writeAll(chunk, static_cast<std::size_t>(n));
            }
            ::close(maps);
        }
    }
    ::close(fd);
    return true;
}

void endCrashedProcess(int signalNumber) { ::_exit(128 + signalNumber); }

}  // namespace platform
