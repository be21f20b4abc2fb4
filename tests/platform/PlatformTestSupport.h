#pragma once
// Shared helpers of the platform tests: child processes started with
// posix_spawn (safe in a test with threads), waited for and never left behind,
// and small file helpers.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platformtest {

struct ChildOptions {
    std::vector<std::string> argv;                            // argv[0] is the program path
    std::string workingDirectory;                             // empty: ours
    std::vector<std::pair<std::string, std::string>> setEnv;  // added or replaced
    std::vector<std::string> unsetEnv;
    std::string stdoutPath;   // empty: /dev/null (unless pipeStdout)
    std::string stderrPath;   // empty: /dev/null
    bool pipeStdin = false;   // write end kept by the test: closeStdin() wakes a child waiting for it
    bool pipeStdout = false;  // read with readStdoutLine()
};

// A child process that is killed and reaped when the object goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        closeStdin();
        if (m_stdout >= 0) ::close(m_stdout);
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

    bool start(const ChildOptions& options) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('='));
            bool drop = false;
            for (const auto& set : options.setEnv) drop = drop || set.first == name;
            for (const auto& unset : options.unsetEnv) drop = drop || unset == name;
            if (!drop) env.push_back(entry);
        }
        for (const auto& set : options.setEnv) env.push_back(set.first + "=" + set.second);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> args = options.argv;
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int inPipe[2] = {-1, -1};
        int outPipe[2] = {-1, -1};
        if (options.pipeStdin) {
            if (::pipe2(inPipe, O_CLOEXEC) != 0) return false;
            posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        if (options.pipeStdout) {
            if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
            posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1,
                                             options.stdoutPath.empty() ? "/dev/null" : options.stdoutPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        posix_spawn_file_actions_addopen(&actions, 2,
                                         options.stderrPath.empty() ? "/dev/null" : options.stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!options.workingDirectory.empty())
            posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
        const int rc = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (inPipe[0] >= 0) ::close(inPipe[0]);
        if (outPipe[1] >= 0) ::close(outPipe[1]);
        m_stdin = inPipe[1];
        m_stdout = outPipe[0];
        if (rc != 0) {
            m_pid = 0;
            return false;
        }
        m_reaped = false;
        return true;
    }

    pid_t pid() const { return m_pid; }

    void closeStdin() {
        if (m_stdin >= 0) ::close(m_stdin);
        m_stdin = -1;
    }

    // One line of the child's standard output, without its newline; empty at
    // end of file.
    std::string readStdoutLine() {
        std::string line;
        char c;
        while (::read(m_stdout, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    // Waits for the end of the child; its wait status.
    int wait() {
        if (!m_reaped) {
            while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
            m_reaped = true;
        }
        return m_status;
    }

    // True while the child runs (a zombie has ended).
    bool running() {
        if (m_reaped) return false;
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
        return info.si_pid == 0;
    }

    // Waits until the child has ended, leaving it a zombie.
    void waitUntilZombie() {
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT);
    }

    // True when the child ends of `signalNumber` sent by someone else. A child
    // that is still running after a generous while is ended here and counts as
    // not killed, so that a missed kill fails the test instead of hanging it.
    bool killedBy(int signalNumber) {
        for (int i = 0; i < 2000 && running(); ++i) ::usleep(5000);
        if (running()) {
            ::kill(m_pid, SIGKILL);
            wait();
            return false;
        }
        const int status = wait();
        return WIFSIGNALED(status) && WTERMSIG(status) == signalNumber;
    }
    // The exit code, or -1 when the child did not exit normally.
    int exitCode() {
        const int status = wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = 0;
    int m_stdin = -1;
    int m_stdout = -1;
    int m_status = 0;
    bool m_reaped = true;
};

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// A copy of an executable under another name (process names come from the
// executable's file name).
inline bool copyExecutable(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

inline std::string str(const QString& s) { return QFile::encodeName(s).toStdString(); }

// True in a test program started again by rerunInNamespaces().
inline bool inNamespaces() { return std::getenv("ZN_IN_NAMESPACES") != nullptr; }

// Runs the test `testName` of this test program again, in new namespaces made
// by unshare(1) with `unshareOptions`, after the shell command `setup` has run
// in them (a test can then take /tmp or process ids for itself without touching
// the machine's). Its exit code, with its output in `log`; -2 when such
// namespaces cannot be made here (that needs root).
inline int rerunInNamespaces(const std::vector<std::string>& unshareOptions, const std::string& setup,
                             const std::string& testName, QByteArray* log) {
    const std::string script = setup + (setup.empty() ? "" : " || exit 99; ") + "exec \"$0\" \"$@\"";
    std::vector<std::string> argv = {"/usr/bin/unshare"};
    argv.insert(argv.end(), unshareOptions.begin(), unshareOptions.end());
    argv.insert(argv.end(), {"--", "/bin/sh", "-c", script});

    Child probe;
    ChildOptions probeOptions;
    probeOptions.argv = argv;
    probeOptions.argv.push_back("/bin/true");
    if (!probe.start(probeOptions) || probe.exitCode() != 0) return -2;

    QTemporaryDir logs;
    Child child;
    ChildOptions options;
    options.argv = argv;
    options.argv.push_back(str(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))));
    options.argv.push_back("--gtest_filter=" + testName);
    options.setEnv = {{"ZN_IN_NAMESPACES", "1"}};
    options.stdoutPath = str(logs.path() + QStringLiteral("/out"));
    options.stderrPath = str(logs.path() + QStringLiteral("/err"));
    if (!child.start(options)) return -1;
    const int code = child.exitCode();
    *log = readFile(logs.path() + QStringLiteral("/out")) + readFile(logs.path() + QStringLiteral("/err"));
    return code;
}

}  // namespace platformtest
