#pragma once
// Named single-instance locks: our counterpart of a named Windows mutex created
// with initial ownership, as the main program uses one to run only once.
//
// A lock is an exclusive advisory lock (flock) on the file <name>.lock in the
// user's runtime folder. The file is opened close-on-exec: a program started
// from the holder (detached or not) does not inherit the lock, so it cannot keep
// the next start from becoming the first instance. The lock goes when its
// descriptor is closed, at the latest when the holding process ends, however it
// ends.
#include <QString>

namespace platform {

enum class InstanceLockResult {
    Acquired,       // the lock is ours
    AlreadyExists,  // another holder has it (another process, or this one before)
    Failed,         // no lock could be made at all (no runtime folder, no file)
};

// The user's runtime folder, the first of these that is a real folder (not a
// link) owned by us that no one else may write to:
// - $XDG_RUNTIME_DIR, when it is set to an absolute path;
// - /tmp/corvane-<uid>, made on first use with mode 0700;
// - corvane in $XDG_STATE_HOME (when absolute) or else in ~/.local/state, made
//   with mode 0700 (missing folders above it too): another user can take the
//   name in /tmp first, never in our home.
// Empty when there is none.
QString runtimeDir();

// The lock file for `name`: runtimeDir() + "/" + name + ".lock", with any "/" in
// the name replaced by "_". Empty when there is no runtime folder or the name is
// empty.
QString instanceLockPath(const QString& name);

// Takes the lock `name` without waiting. On Acquired `*handle` receives the
// descriptor that holds it; keep it open for as long as the lock is to be held.
// Otherwise `*handle` is -1.
InstanceLockResult acquireInstanceLock(const QString& name, int* handle);

}  // namespace platform
