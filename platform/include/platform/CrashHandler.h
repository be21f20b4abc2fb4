#pragma once
// Crash reports: our counterpart of a top-level exception filter that writes a
// dump file, and of keeping that filter from being replaced later.
//
// A crash is one of the signals SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT. The
// report is a text file: the signal, the fault address, the process and thread
// ids, a backtrace of the crashing thread and the module list (a copy of
// /proc/self/maps).
#include <csignal>

namespace platform {

// What a crash handler learns of a crash: the signal, the kernel's details
// (fault address, code) and the machine context of the crashing thread. `info`
// and `context` may be null.
struct CrashSignal {
    int signalNumber = 0;
    const siginfo_t* info = nullptr;
    const void* context = nullptr;
};

// A handler in the form sigaction() calls it (SA_SIGINFO).
using CrashHandler = void (*)(int signalNumber, siginfo_t* info, void* context);

// True for the five crash signals.
bool isCrashSignal(int signalNumber);

// Installs `handler` for the five crash signals. It runs with every other signal
// blocked, on an alternate signal stack of the calling thread (set up here unless
// the thread already has a large enough one), so that a stack overflow on that
// thread is still reported; threads have no alternate stack of their own unless
// they set one up, so a stack overflow on another thread ends the process without
// a report. Also loads what a backtrace needs, so that the handler loads nothing.
// True when all five were installed. Works also after lockCrashHandlers().
bool installCrashHandler(CrashHandler handler);

// From now on every call in this process that would change how one of the five
// crash signals is handled - sigaction() with a new action, signal(),
// bsd_signal(), ssignal(), sysv_signal(), sigset(), sigignore() - does nothing
// and reports success: sigaction() gives the action in force as the old one, the
// signal() family returns the handler in force. Queries and other signals pass
// unchanged. This holds for the program and every library in it (also libraries
// loaded later) because the program itself defines these functions and passes
// on everything else to the C library. They come with the object library
// ZnCrashGuard, which a program links to get these two functions, and the
// program must export them (ZnStartup's link options do). Raw system calls are
// out of reach.
void lockCrashHandlers();
bool crashHandlersLocked();

// Writes the crash report for `crash` (null: a report without the signal part)
// to `fileName`, creating it with mode 0600 or replacing it. Only a regular
// file takes the report: a symbolic link there is not followed, and a FIFO,
// device or socket of that name gets nothing and never makes the call wait.
// Uses only async-signal-safe calls, so a crash handler may call it. False when
// the file cannot be created or is no regular file; then nothing is written.
bool writeCrashReport(const char* fileName, const CrashSignal* crash);

// Ends the process at once with exit status 128 + signalNumber, without exit
// handlers, flushing or any further output.
[[noreturn]] void endCrashedProcess(int signalNumber);

}  // namespace platform
