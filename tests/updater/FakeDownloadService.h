#pragma once
// A scripted download service for the poller and window tests: each query
// returns the next scripted status (the last one repeats), and every call is
// counted. Install it with install(); the destructor restores the real one.
#include <QList>
#include <QString>
#include <atomic>
#include <mutex>

#include "updater/DownloadControl.h"
#include "updater/DownloadServiceCalls.h"

namespace updatertest {

class FakeDownloadService {
public:
    FakeDownloadService() {
        instance() = this;
        DownloadServiceCalls calls;
        calls.add = &add;
        calls.start = &start;
        calls.query = &query;
        DownloadServiceCalls::setForTesting(calls);
        DownloadControl::setPollIntervalForTesting(10);
    }
    ~FakeDownloadService() {
        DownloadServiceCalls::setForTesting(DownloadServiceCalls());
        DownloadControl::setPollIntervalForTesting(800);
        instance() = nullptr;
    }

    static DownloadTaskStatus status(int state, qint64 size = -1, float fraction = 0) {
        DownloadTaskStatus s;
        s.state = state;
        s.file_size = size;
        s.fraction_done = fraction;
        return s;
    }
    void script(const QList<DownloadTaskStatus>& statuses) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_script = statuses;
    }

    bool startResult = true;
    std::atomic<int> queries{0};
    QString lastUrl;
    QString lastTarget;
    int lastConnections = 0;

private:
    static FakeDownloadService*& instance() {
        static FakeDownloadService* fake = nullptr;
        return fake;
    }
    static uint32_t add(const DownloadTaskRequest& request, int32_t connections) {
        FakeDownloadService* self = instance();
        self->lastUrl = QString::fromStdWString(request.url);
        self->lastTarget = QString::fromStdWString(request.target_path);
        self->lastConnections = connections;
        return 42;
    }
    static bool start(uint32_t id) { return id == 42 && instance()->startResult; }
    static bool query(uint32_t, DownloadTaskStatus& status) {
        FakeDownloadService* self = instance();
        if (!self) return false;
        ++self->queries;
        std::lock_guard<std::mutex> lock(self->m_mutex);
        if (self->m_script.isEmpty()) return false;
        status = self->m_script.size() > 1 ? self->m_script.takeFirst() : self->m_script.first();
        return true;
    }

    std::mutex m_mutex;
    QList<DownloadTaskStatus> m_script;
};

}  // namespace updatertest
