#pragma once
// File-system helpers of the installer acquisition.
#include <QString>
#include <QStringList>

// Removes a folder and everything in it. Symbolic links are removed as links,
// never followed, so nothing outside the folder is touched; an entry that
// cannot be removed is skipped (one pass, no retry loop). A link given as the
// folder itself is removed as a link. True when the folder is gone afterwards.
bool DeleteDirectory(const QString& folderPath);

// Result of unpacking an archive with 7-Zip.
struct UnzipResult {
    bool started = false;   // the program could be started
    bool finished = false;  // it ended within the time limit (else it was killed)
    int exitCode = -1;      // its exit code when it ended normally
    bool folderExists = false;
    qint64 elapsedMs = 0;
    // Success: a normal exit with code 0 within the time limit and the folder present.
    bool success() const { return started && finished && exitCode == 0 && folderExists; }
};

// Runs `program` with `arguments` and waits at most timeoutMs; kills it on
// time-out. `targetFolder` is the folder the archive is unpacked into.
UnzipResult RunUnzip(const QString& program, const QStringList& arguments, const QString& targetFolder, int timeoutMs);
