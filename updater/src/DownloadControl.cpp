#include "updater/DownloadControl.h"

#include <QDebug>
#include <QFile>
#include <QMetaObject>
#include <atomic>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "Download.h"

struct FacadeLink {
    std::mutex mutex;
    QObject* facade = nullptr;
};

namespace {

std::atomic<int> g_pollIntervalMs{800};

// Posts one queued call to the facade while it exists; false once it has gone.
template <typename... Args>
bool postToFacade(FacadeLink& link, const char* member, Args... args) {
    std::lock_guard<std::mutex> lock(link.mutex);
    if (!link.facade) return false;
    QMetaObject::invokeMethod(link.facade, member, Qt::QueuedConnection, args...);
    return true;
}

bool facadeAlive(FacadeLink& link) {
    std::lock_guard<std::mutex> lock(link.mutex);
    return link.facade != nullptr;
}

// Control characters and lone surrogates (no file name can hold one) become "_".
void replaceUnsafeCharacters(QString& name) {
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate()) {
            name[i] = QLatin1Char('_');
        }
    }
}

// How many characters of `text` (without lone surrogates) fit in `bytes`
// bytes of UTF-8; a surrogate pair is taken whole or not at all.
int utf8Prefix(const QString& text, int bytes) {
    int used = 0;
    int i = 0;
    while (i < text.size()) {
        const ushort u = text.at(i).unicode();
        const bool pair = text.at(i).isHighSurrogate();
        const int size = pair ? 4 : u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        if (used + size > bytes) break;
        used += size;
        i += pair ? 2 : 1;
    }
    return i;
}

}  // namespace

DownloadControl::DownloadControl(QObject* parent)
    : QObject(parent),
      m_pFile(new QFile(this)),
      m_link(std::make_shared<FacadeLink>()) {
    m_link->facade = parent;
    connect(&m_timer, &QTimer::timeout, this, &DownloadControl::slotComputeDownloadProgress);
}

DownloadControl::~DownloadControl() {
    detachFacade();
    delete m_pPartBuffer;
}

void DownloadControl::detachFacade() {
    std::lock_guard<std::mutex> lock(m_link->mutex);
    m_link->facade = nullptr;
}

void DownloadControl::setPollIntervalForTesting(int milliseconds) { g_pollIntervalMs = milliseconds; }

QString DownloadControl::targetFileName(const QString& url) {
    // Both separators count: a name must never lead out of the folder, here
    // or on a system that takes "\\" for one.
    const int slash = qMax(url.lastIndexOf(QLatin1Char('/')), url.lastIndexOf(QLatin1Char('\\')));
    QString name = url.mid(slash + 1);
    replaceUnsafeCharacters(name);
    // No "." or "..", and no hidden name (".cfg" beside its target, ".bashrc").
    int lead = 0;
    while (lead < name.size() && (name.at(lead) == QLatin1Char('.') || name.at(lead).isSpace())) ++lead;
    name = name.mid(lead).trimmed();
    // Room for the task's ".tmp" and ".cfg" within a file name's 255 bytes.
    name.truncate(utf8Prefix(name, kMaxFileNameBytes));
    return name.isEmpty() ? QStringLiteral("index.html") : name;
}

int DownloadControl::StartDownload(const QString& url, const QString& folder) {
    m_strFilePath = folder + QLatin1Char('/') + targetFileName(url);

    const DownloadServiceCalls service = DownloadServiceCalls::current();
    DownloadTaskRequest request;
    request.url = url.toStdWString();
    request.target_path = m_strFilePath.toStdWString();
    const uint32_t id = service.add ? service.add(request, 16) : 0;
    if (!service.start || !service.start(id)) return -2;

    boost::thread worker(&PollDownloadTask, id, m_link);
    worker.detach();
    return 0;
}

int DownloadControl::progressPercent(const DownloadTaskStatus& status) {
    if (status.state != DownloadTaskDownloading || status.file_size <= 0) return -1;
    const double percent = double(status.fraction_done) * 100.0;
    if (!std::isfinite(percent)) return -1;
    if (percent <= 0) return 0;
    if (percent >= 100) return 100;
    return int(percent);
}

void PollDownloadTask(uint32_t id, std::shared_ptr<FacadeLink> link) {
    const DownloadServiceCalls service = DownloadServiceCalls::current();
    for (;;) {
        DownloadTaskStatus status;
        if (service.query) service.query(id, status);
        std::this_thread::sleep_for(std::chrono::milliseconds(g_pollIntervalMs.load()));
        if (!facadeAlive(*link)) return;

        switch (status.state) {
        case DownloadTaskFinished: postToFacade(*link, "signalDownloadFinished"); return;
        case DownloadTaskFailed:
        case DownloadTaskIncomplete:
            // An incomplete task has stopped for good as well: the user can
            // try again later, resuming from the task's files.
            postToFacade(*link, "singalHttpReturnError", Q_ARG(QString, QStringLiteral("Download failed.")));
            return;
        case DownloadTaskDownloading: {
            const int percent = DownloadControl::progressPercent(status);
            if (percent >= 0 && !postToFacade(*link, "signalDownloadProgress", Q_ARG(int, percent))) return;
            break;
        }
        default: break;  // created, probing, or a failed query
        }
    }
}

void DownloadControl::SubPartFinished(int) {
    ++m_nFinishedParts;
    if (m_nFinishedParts < m_nPartCount) return;
    m_pFile->close();
    delete m_pPartBuffer;
    m_pPartBuffer = nullptr;
    m_timer.stop();
    emit FileDownloadFinished();
}

void DownloadControl::slotComputeDownloadProgress() {
    if (m_nTotalSize == 0) return;
    qint64 sum = 0;
    for (const Download* part : m_listParts) sum += part->bytesReceived();
    emit signalDownloadProgress(int(sum * 100 / m_nTotalSize));
}

void DownloadControl::slotDownloadProgress(int, qlonglong, qlonglong) {}
