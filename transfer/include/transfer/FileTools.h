#pragma once
// File-system helpers of the installer acquisition.
#include <QByteArray>
#include <QString>
#include <QStringList>

// Removes a folder and everything in it. Symbolic links are removed as links,
// never followed, so nothing outside the folder is touched; an entry that
// cannot be removed is skipped (one pass, no retry loop). A link given as the
// folder itself is removed as a link. True when the folder is gone afterwards.
// Removes relative to open folders with the core library's walk, names as
// the bytes they are: a sub-folder swapped for a link while it runs leads
// nowhere outside, and another file system or a mount inside is not entered.
// A path with a "." or ".." part is refused (false, nothing removed): ".."
// after a link leads elsewhere than the text says, and "a/.." names a folder
// of which nothing was meant to go.
bool DeleteDirectory(const QString& folderPath);

// How long unpacking the installer may take: generous, since the real installer
// is about 200 MB and a slow disk takes minutes; a 7-Zip that hangs is still
// killed at the end of it.
constexpr int kUnzipTimeoutMs = 10 * 60 * 1000;

// The limit the installer acquisition uses: kUnzipTimeoutMs unless a test set
// another one with SetUnzipTimeoutMs (0 or less: back to kUnzipTimeoutMs).
int UnzipTimeoutMs();
void SetUnzipTimeoutMs(int timeoutMs);

// Result of unpacking an archive with 7-Zip. 7-Zip's exit codes: 0 no error,
// 1 warnings only (non-fatal: the archive was unpacked), 2 and above errors
// (2 fatal error, 7 command line, 8 out of memory, 255 stopped).
struct UnzipResult {
    bool started = false;   // the program could be started
    bool finished = false;  // it ended within the time limit (else it was killed)
    int exitCode = -1;      // its exit code when it ended normally
    bool folderExists = false;
    qint64 elapsedMs = 0;
    QByteArray output;  // what it wrote (standard output and error)
    // Success: a normal exit within the time limit with code 0, or with code 1
    // (warnings), and the folder present.
    bool success() const { return started && finished && (exitCode == 0 || exitCode == 1) && folderExists; }
    // A success that 7-Zip reported with warnings.
    bool hasWarnings() const { return success() && exitCode == 1; }
};

// Runs `program` with `arguments` and waits at most timeoutMs; kills it on
// time-out. `targetFolder` is the folder the archive is unpacked into.
// The wait is a local event loop: timers, painting and user input of the
// calling thread go on meanwhile, so a caller on the GUI thread must keep
// what its window offers meanwhile from starting the same work again. When
// the application quits during the wait, 7-Zip is killed and the result is a
// failure.
UnzipResult RunUnzip(const QString& program, const QStringList& arguments, const QString& targetFolder, int timeoutMs);
