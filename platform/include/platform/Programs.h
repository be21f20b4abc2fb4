#pragma once
// The one mapping from the names the product uses for its outside programs and
// libraries ("Velkin.exe", "Pellact.exe", "Feedback.exe", "7z.exe", "iTunes.exe",
// "Sorvel.dll") to files on this platform. Nothing else turns such a name into a
// path.
#include <QString>

namespace platform {

// The application folder: the folder of the running program, without a trailing
// slash. Tests may point it at a folder of their own (see setApplicationDir).
QString applicationDir();

// For tests only: makes applicationDir() answer `dir` (empty: the real folder).
void setApplicationDir(const QString& dir);

// "X.exe" -> applicationDir() + "/X". "7z.exe" -> applicationDir() + "/7z" when
// present, otherwise Debian's 7z found on the search path.
QString programPath(const QString& programName);

// "X.dll" -> applicationDir() + "/libX.so", an absolute path (QLibrary does not
// search the program's folder on this platform).
QString libraryPath(const QString& libraryName);

// The platform's process name for a program name: "iTunes.exe" -> "iTunes".
// Process look-ups by name go through this.
QString processName(const QString& programName);

}  // namespace platform
