// The guard that keeps the crash handlers in force: the program's own
// definitions of the C library's functions that set a signal's handler.
//
// Calls from the program and from every library in it reach these definitions
// first (the dynamic linker looks in the program before the libraries, provided
// the program exports them); each passes the call on to the C library's function
// of the same name unless it would change one of the five crash signals after
// lockCrashHandlers(), which is then refused silently.
//
// This file is linked only into programs that want the guard (object library
// ZnCrashGuard), never through the platform library, which would hand it to
// every program that merely calls signal().
#include "platform/CrashHandler.h"

#include <atomic>
#include <cerrno>

#include <dlfcn.h>
#include <signal.h>

namespace {

std::atomic<bool> g_locked{false};

// The C library's function of the same name, past the program's own
// definitions below, looked up on first use.
template <typename Function>
Function nextDefinition(std::atomic<Function>& slot, const char* name) {
    Function function = slot.load(std::memory_order_acquire);
    if (!function) {
        function = reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
        slot.store(function, std::memory_order_release);
    }
    return function;
}

using SigactionFunction = int (*)(int, const struct sigaction*, struct sigaction*);
using SignalFunction = __sighandler_t (*)(int, __sighandler_t);
using SigignoreFunction = int (*)(int);

SigactionFunction realSigaction() {
    static std::atomic<SigactionFunction> slot{nullptr};
    return nextDefinition(slot, "sigaction");
}

// True when a change of `signalNumber`'s handling is to be refused.
bool guarded(int signalNumber) {
    return g_locked.load(std::memory_order_acquire) && platform::isCrashSignal(signalNumber);
}

// The handler in force for a guarded signal, as the signal() family reports it.
__sighandler_t handlerInForce(int signalNumber) {
    struct sigaction current {};
    const SigactionFunction real = realSigaction();
    if (!real || real(signalNumber, nullptr, &current) != 0) return SIG_ERR;
    return current.sa_handler;
}

int refusedOrForwarded(SigactionFunction real, int signalNumber, const struct sigaction* action,
                       struct sigaction* previous) {
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    if (action && guarded(signalNumber)) return previous ? real(signalNumber, nullptr, previous) : 0;
    return real(signalNumber, action, previous);
}

__sighandler_t refusedOrForwarded(SignalFunction real, int signalNumber, __sighandler_t handler) {
    if (guarded(signalNumber)) return handlerInForce(signalNumber);
    if (!real) {
        errno = ENOSYS;
        return SIG_ERR;
    }
    return real(signalNumber, handler);
}

// The signal() family's names, for forwardedSignal.
constexpr char kSignal[] = "signal";
constexpr char kBsdSignal[] = "bsd_signal";
constexpr char kSsignal[] = "ssignal";
constexpr char kSysvSignal[] = "sysv_signal";
constexpr char kUnderscoreSysvSignal[] = "__sysv_signal";
constexpr char kSigset[] = "sigset";

// A call of the signal() family, forwarded to the C library's function
// `Name` (its own slot each) unless the signal is guarded.
template <const char* Name>
__sighandler_t forwardedSignal(int signalNumber, __sighandler_t handler) {
    static std::atomic<SignalFunction> slot{nullptr};
    return refusedOrForwarded(nextDefinition(slot, Name), signalNumber, handler);
}

}  // namespace

namespace platform {

void lockCrashHandlers() { g_locked.store(true, std::memory_order_release); }

bool crashHandlersLocked() { return g_locked.load(std::memory_order_acquire); }

}  // namespace platform

extern "C" {

int sigaction(int signalNumber, const struct sigaction* action, struct sigaction* previous) noexcept {
    return refusedOrForwarded(realSigaction(), signalNumber, action, previous);
}

int __sigaction(int signalNumber, const struct sigaction* action, struct sigaction* previous) noexcept {
    static std::atomic<SigactionFunction> slot{nullptr};
    return refusedOrForwarded(nextDefinition(slot, "__sigaction"), signalNumber, action, previous);
}

__sighandler_t signal(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kSignal>(signalNumber, handler);
}

__sighandler_t bsd_signal(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kBsdSignal>(signalNumber, handler);
}

__sighandler_t ssignal(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kSsignal>(signalNumber, handler);
}

__sighandler_t sysv_signal(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kSysvSignal>(signalNumber, handler);
}

__sighandler_t __sysv_signal(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kUnderscoreSysvSignal>(signalNumber, handler);
}

__sighandler_t sigset(int signalNumber, __sighandler_t handler) noexcept {
    return forwardedSignal<kSigset>(signalNumber, handler);
}

int sigignore(int signalNumber) noexcept {
    if (guarded(signalNumber)) return 0;
    static std::atomic<SigignoreFunction> slot{nullptr};
    const SigignoreFunction real = nextDefinition(slot, "sigignore");
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    return real(signalNumber);
}

}  // extern "C"
