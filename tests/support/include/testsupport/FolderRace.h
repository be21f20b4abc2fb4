#pragma once
// Helpers of the tests that a deletion stays inside its folder: a racer that
// swaps a folder and a link while the deletion runs, and children in a private
// mount namespace for mounts inside a tree. Header only, plain POSIX (the
// skip macro for a child that could not set up expands to GoogleTest's).
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// Exchanges `folder` and `link` (renameat2 with RENAME_EXCHANGE) in a loop on
// a thread of its own, from construction until stop() or destruction: the
// name `folder` is a real folder one moment and a link the next, as a local
// process could make it while something walks the tree.
class FolderLinkSwapper {
public:
    // Returns once the first exchange was tried, so that the racing has begun
    // before the caller's deletion starts; firstSwapDone() tells whether it
    // succeeded.
    FolderLinkSwapper(std::string folder, std::string link)
        : m_folder(std::move(folder)),
          m_link(std::move(link)),
          m_thread([this] { run(); }) {
        while (!m_tried) std::this_thread::yield();
    }
    ~FolderLinkSwapper() { stop(); }
    FolderLinkSwapper(const FolderLinkSwapper&) = delete;
    FolderLinkSwapper& operator=(const FolderLinkSwapper&) = delete;

    // Ends the racing; the names are left in whichever state the last
    // exchange made.
    void stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    bool firstSwapDone() const { return m_firstDone; }
    long swaps() const { return m_swaps; }

private:
    void run() {
        m_firstDone = swap();
        m_tried = true;
        while (!m_stop) {
            swap();
            // A short pause between exchanges: the walk meets both states
            // often, without the racer hogging the folders' locks.
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
    }
    bool swap() {
        if (renameat2(AT_FDCWD, m_folder.c_str(), AT_FDCWD, m_link.c_str(), RENAME_EXCHANGE) != 0) return false;
        ++m_swaps;
        return true;
    }

    std::string m_folder;
    std::string m_link;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_tried{false};
    std::atomic<bool> m_firstDone{false};
    std::atomic<long> m_swaps{0};
    std::thread m_thread;
};

// Exit code of a child that could not set up what it tests (a mount
// namespace): the test is skipped, and fails under CI=true.
constexpr int kCannotSetUp = 77;

inline bool underCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

// In a GoogleTest test: skips it when a child's exit code says that `what`
// could not be set up here, and fails it instead under CI=true.
#define ZN_SKIP_UNLESS_SET_UP(code, what)                                          \
    do {                                                                           \
        if ((code) == testsupport::kCannotSetUp) {                                 \
            if (testsupport::underCi()) FAIL() << what << " is not possible here"; \
            GTEST_SKIP() << what << " is not possible here";                       \
        }                                                                          \
    } while (false)

// Runs body in a forked child and gives its exit code (-1 when it did not
// exit by itself). The child ends with _exit, so nothing of the parent's test
// runs twice.
inline int runInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == -1) return -1;
    if (child == 0) _exit(body());
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// In a child: a mount namespace of its own, every mount private to it, then
// `source` bind-mounted on `target`. False when that is not possible here
// (not root).
inline bool bindMountPrivately(const std::string& source, const std::string& target) {
    return unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace testsupport
