// Stand-in for iTunes in the demo tree: a program whose process is named
// "iTunes", so that ending iTunes by process name (at start-up and before user
// data is cleaned) finds it, as it finds the real one. It does nothing and
// stays running until it is ended; SIGTERM, SIGINT and SIGHUP end it with 0.
//
// scripts/make-demo-tree --itunes-program puts it into the demo tree as
// "Program Files/iTunes/iTunes", which the stand-in engine's OpeniTunes starts.
#include <csignal>

int main() {
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &endSignals, nullptr);
    int received = 0;
    while (sigwait(&endSignals, &received) != 0) {
    }
    return 0;
}
