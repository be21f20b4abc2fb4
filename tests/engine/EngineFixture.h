#pragma once
// Shared helpers of the engine tests: the engine library from the application
// folder, a demo tree in a temporary folder, and a recorder for callbacks.
#include <gtest/gtest.h>

#include <QLibrary>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SorvelInterface.h"
#include "platform/Programs.h"

namespace enginetest {

namespace fs = std::filesystem;

// The engine library of the build, loaded once.
struct Engine {
    PFN_CreateFixItuensMgr createFixMgr = nullptr;
    PFN_CreateItunesUserDataMgr createUserDataMgr = nullptr;

    static Engine& get() {
        static Engine engine;
        return engine;
    }

private:
    Engine() {
        platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
        QLibrary library(platform::libraryPath(QStringLiteral("Sorvel.dll")));
        if (!library.load()) return;
        createFixMgr = reinterpret_cast<PFN_CreateFixItuensMgr>(library.resolve("CreateFixItuensMgr"));
        createUserDataMgr = reinterpret_cast<PFN_CreateItunesUserDataMgr>(library.resolve("CreateItunesUserDataMgr"));
    }
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> readLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::wstring wide(const fs::path& path) { return QString::fromStdString(path.string()).toStdWString(); }

inline std::string narrow(const std::wstring& text) { return QString::fromStdWString(text).toStdString(); }

// Every file (and link) below `dir` with its size, links as links.
inline std::map<std::string, std::int64_t> snapshot(const fs::path& dir) {
    std::map<std::string, std::int64_t> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it); it.increment(ec)) {
        const auto type = it->symlink_status().type();
        if (type == fs::file_type::regular)
            files[it->path().string()] = static_cast<std::int64_t>(fs::file_size(it->path()));
        else if (type == fs::file_type::symlink)
            files[it->path().string()] = -1;
    }
    return files;
}

inline std::int64_t bytesBelow(const fs::path& dir) {
    std::int64_t total = 0;
    for (const auto& [path, size] : snapshot(dir))
        if (size > 0) total += size;
    return total;
}

// A temporary folder with a demo tree made by scripts/make-demo-tree, given to
// the engine as its root for the test's lifetime.
class TempTree {
public:
    explicit TempTree(const std::string& options = std::string()) {
        char pattern[] = "/tmp/sorvel-test-XXXXXX";
        m_base = mkdtemp(pattern);
        m_root = m_base / "root";
        const std::string command = std::string("'") + ZN_SOURCE_DIR + "/scripts/make-demo-tree' '" + m_root.string() +
                                    "' " + options + " >/dev/null";
        m_ok = std::system(command.c_str()) == 0;
        setenv("SORVEL_ROOT", m_root.c_str(), 1);
        unsetenv("SORVEL_SCRIPT");
        unsetenv("SORVEL_CALL_LOG");
    }
    ~TempTree() {
        unsetenv("SORVEL_ROOT");
        std::error_code ec;
        fs::remove_all(m_base, ec);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    bool ok() const { return m_ok; }
    const fs::path& base() const { return m_base; }
    const fs::path& root() const { return m_root; }
    fs::path programFiles() const { return m_root / "Program Files"; }
    fs::path cache() const { return m_root / "Installer Cache"; }
    fs::path userData() const { return m_root / "User Data"; }

    // The installer folder matching the tree, made beside it.
    fs::path makeInstaller(const std::string& options = std::string()) const {
        const fs::path dir = m_base / "iTunesSetup";
        const std::string command = std::string("'") + ZN_SOURCE_DIR +
                                    "/scripts/make-demo-tree' --force --installer '" + dir.string() + "' " + options +
                                    " >/dev/null";
        return std::system(command.c_str()) == 0 ? dir : fs::path();
    }

private:
    fs::path m_base;
    fs::path m_root;
    bool m_ok = false;
};

// Collects the callbacks of one operation with copies of their records.
template <typename Record>
class Recorder {
public:
    struct Event {
        int state = 0;
        bool hasRecord = false;
        Record record;
        std::thread::id thread;
    };

    explicit Recorder(int finalState) : m_finalState(finalState) {}

    static void callback(void* context, int state, void* result) {
        auto* self = static_cast<Recorder*>(context);
        Event event;
        event.state = state;
        event.hasRecord = result != nullptr;
        if (result) event.record = *static_cast<Record*>(result);
        event.thread = std::this_thread::get_id();
        if (self->onEvent) self->onEvent(event);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_events.push_back(event);
        if (state == self->m_finalState) ++self->m_finals;
        self->m_changed.notify_all();
    }

    // Waits until the final state arrived (a deadline so that a fault fails
    // the test instead of hanging it).
    bool waitFinal() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_finals > 0; });
    }

    // Waits until at least `count` callbacks arrived.
    bool waitCount(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_events.size() >= count; });
    }

    std::vector<Event> events() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

    std::vector<Event> eventsOf(int state) {
        std::vector<Event> result;
        for (const Event& event : events())
            if (event.state == state) result.push_back(event);
        return result;
    }

    std::vector<int> states() {
        std::vector<int> result;
        for (const Event& event : events()) result.push_back(event.state);
        return result;
    }

    Event last() { return events().back(); }

    // Runs on the engine's thread for every callback, before it is recorded.
    std::function<void(const Event&)> onEvent;

private:
    int m_finalState;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    int m_finals = 0;
};

// Sets a stop flag as the engine's reader expects (the flag is read while
// the engine works).
inline void requestStop(bool* flag) { __atomic_store_n(flag, true, __ATOMIC_RELEASE); }

}  // namespace enginetest
