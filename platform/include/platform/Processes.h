#pragma once
// Finding and ending processes by program name: our counterpart of the Windows
// process snapshot and of opening and terminating a process. The main program
// ends a running "iTunes.exe" with it; the updater links it too.
//
// The process table is /proc, walked in ascending process-id order. A process's
// name is the base name of its executable (the /proc/<pid>/exe link), without the
// " (deleted)" mark the kernel adds when that file has been removed or replaced.
// When the executable cannot be read (a process of another user) the base name of
// its argv[0] stands in. Processes with neither (kernel threads, processes in the
// middle of exiting) and zombies have no name and never match. The kernel's short
// name (comm) is not used: it is cut to 15 characters and any process can set it.
//
// Look-ups compare that name exactly (case-sensitive) with
// platform::processName() of the product's program name: "iTunes.exe" finds
// processes named "iTunes", not "itunes". Only processes of the calling user
// (their real user id is ours) are candidates: a process of another user that
// happens to bear the name is never ended, not even by root. Among the
// candidates the first whose executable lies in the application folder
// (platform::applicationDir()) is chosen, else the first of all; so the
// product's own program is preferred over a stranger that took its name.
#include <QString>

#include <cstdint>
#include <vector>

// Ends the process with this id at once (SIGKILL: like a Windows termination it
// gives the process no chance to object; the exit code cannot be chosen here, the
// parent sees a death by SIGKILL). Returns 0 when the process was ended, -1 when
// the id does not name a process that we may end: 0, ids beyond the range of
// process ids (among them the all-bits-set value of a failed look-up, which as a
// Linux pid would address every process), ids of threads other than a process's
// main thread, processes that are gone and processes we have no right to signal.
int TerminateProcessById(std::uint32_t processId);

// Ends the process chosen by the rule above (platform::chooseProcess), never
// the calling process itself. Its id may have passed to another process since
// the table was read: the process is opened first (a process descriptor), then
// checked again while it is held (name, owner, still alive), and ended through
// that descriptor, so a process that took the id is never ended. Only
// that one process is ended; the result of ending it is not looked at. Returns
// true once the table has been walked, also when nothing matched. When the
// process table cannot be read it prints "CreateToolhelp32Snapshot failed!\n" to
// standard output and returns false.
bool KillProcessByName(const QString& programName);

// The id of the process chosen by the rule above (platform::chooseProcess),
// never the calling process itself; prints
// "find the file you want: <name>\n" to standard output when one matched.
// 0 when none matched. When the process table cannot be read it prints
// "CreateToolhelp32Snapshot failed!\n" and returns the all-bits-set value
// 0xFFFFFFFF, which TerminateProcessById refuses.
std::uint32_t FindProcessIdByName(const QString& programName);

namespace platform {

// The other services of this layer live in namespace platform; the two process
// helpers keep the names the product's code gives them and can be reached both
// ways.
using ::FindProcessIdByName;
using ::KillProcessByName;
using ::TerminateProcessById;

// One named process of the process table.
struct ProcessEntry {
    std::uint32_t processId = 0;
    QString name;            // see the naming rule above
    QString executablePath;  // the executable's path; empty when it cannot be read
    qint64 userId = -1;      // the real user id; -1 when it cannot be read
};

// Fills `entries` with the named processes in ascending id order (the calling
// process included). False, with `entries` empty, when the table cannot be read.
bool processSnapshot(std::vector<ProcessEntry>* entries);

// Of `entries`, the process a look-up of `programName` chooses: the first,
// in their order, named platform::processName(programName), of the calling
// user and not the caller, whose executable lies in the application folder;
// else the first such process of any folder; null when there is none.
const ProcessEntry* chooseProcess(const std::vector<ProcessEntry>& entries, const QString& programName);

// For tests only: read the process table from `root` instead of /proc (empty:
// /proc again). Terminations always go to the real processes.
void setProcessTableRoot(const QString& root);

// For tests only: `hook` (null: none) is called with the id of the process
// KillProcessByName has chosen, right before that process is opened, where a
// test can let the id pass to another process.
using ProcessEndingHook = void (*)(std::uint32_t processId);
void setProcessEndingHook(ProcessEndingHook hook);

}  // namespace platform
