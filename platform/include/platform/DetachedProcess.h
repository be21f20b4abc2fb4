#pragma once
// Starting a program detached: it runs on its own, in a session of its own,
// and is not a child of the caller (it is handed to the system's reaper), like
// a program started from a Windows shell.
//
// In place of QProcess::startDetached, which in Qt 5 builds the program's
// arguments in the forked child. In a program with threads, another thread may
// hold a lock (the memory allocator's, for one) at the moment of the fork; the
// child then waits for it forever, and the caller with it, since it waits to
// hear that the program started. Here everything is prepared before the fork,
// and the child only starts the program (posix_spawn), reports and exits.
#include <QString>
#include <QStringList>

namespace platform {

// Starts `program` (a path; a bare name is looked up on the search path) with
// `arguments`, the caller's environment and working directory, SIGPIPE at its
// default and no signal blocked. True when the program was started; its
// process id then goes to *processId when that is given.
bool startDetached(const QString& program, const QStringList& arguments, qint64* processId = nullptr);

}  // namespace platform
