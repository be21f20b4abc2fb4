#pragma once
// The main program's crash dump: on a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE or
// SIGABRT, on any thread) the text report "crashcore.dmp" is written into the
// current folder and the process ends at once, with exit status 128 + the
// signal and no further output. The handler is installed once at start and
// nothing can replace it afterwards.
//
// The report holds the signal, the fault address, the process and thread ids, a
// backtrace of the crashing thread and the module list (every mapping of the
// process, as /proc/self/maps shows it). A text report has no per-module filter
// of what goes into it, so there is no module callback here.
#include <csignal>

#include "platform/CrashHandler.h"

// Installs CrashDumpFilter for the crash signals, then makes it irreplaceable
// with DisableSetUnhandledExceptionFilter().
void SetCrashDumpHandler();

// The crash handler: writes "crashcore.dmp" (WriteCrashDump) and ends the
// process. Should a second thread crash meanwhile, it waits for the first to end
// the process.
void CrashDumpFilter(int signalNumber, siginfo_t* info, void* context);

// Writes the crash report for `exceptionPointers` (null: without the signal part)
// into `fileName`, replacing an existing file. When the file cannot be created
// nothing is written. Async-signal-safe.
void WriteCrashDump(const platform::CrashSignal* exceptionPointers, const char* fileName);

// True when the file-name part of a module path, without its folder (split at
// "\" or "/") and without its extension (from the last "."), is "ntdll" in any
// letter case; false for a null path.
bool IsNtdllModule(const wchar_t* fullPath);

// From now on no call in the process can replace the crash handlers: changes to
// the five crash signals' handling are ignored and reported as done.
void DisableSetUnhandledExceptionFilter();
