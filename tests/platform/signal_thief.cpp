// A library that, once loaded, tries to take over the crash signals, as third-
// party libraries with crash reporters of their own do. Returns the number of
// attempts that reported failure.
#include <initializer_list>

#include <signal.h>

extern "C" __attribute__((visibility("default"))) int zn_replace_crash_handlers() {
    int failures = 0;
    for (const int signalNumber : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        if (::sigaction(signalNumber, &action, nullptr) != 0) ++failures;
        if (::signal(signalNumber, SIG_IGN) == SIG_ERR) ++failures;
    }
    return failures;
}
