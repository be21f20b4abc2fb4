#pragma once
// One copy of the main program at a time. main() keeps a guard on its stack for
// the whole run; the lock it takes is held until the process ends.
#include <QString>

class CSingleInstanceGuard {
public:
    CSingleInstanceGuard() = default;

    // Takes the single-instance lock `name` (the program uses "Corvane") and
    // keeps its handle. False only when the lock already exists, held by another
    // process (or taken before by this one). A lock that cannot be made at all
    // (no runtime folder, no lock file) answers true: the program then starts as
    // the first instance.
    bool Acquire(const QString& name);

    // Forgets the handle and returns true. The lock itself is neither given back
    // nor closed: it stays held until the process ends.
    bool Release();

private:
    int m_hMutex = -1;  // the descriptor holding the lock, -1 until acquired
};
