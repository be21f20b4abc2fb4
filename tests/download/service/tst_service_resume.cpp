// Kill and resume: a tool of ours downloads one file through the service from
// a throttled nginx; the test kills it with SIGKILL at a random point between
// 10 % and 90 %, checks the resume record against the data file, runs the tool
// again and checks the result: exact, and no byte of a piece that the record
// marked is asked for again. The record is read by a small bencode reader of
// the test's own, not the engine's.
//
// The twenty kill-and-resume rounds take most of the time, at the throttled
// server's pace: they are split over two programs built from this file, each
// with its own nginx, which CTest runs side by side. DL_RESUME_HALF 1 is
// tst_service_resume (and the other cases), 2 its variant second_half.
#include <signal.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "ServiceTestUtil.h"
#include "testsupport/ServerUtil.h"
#include "testsupport/TestNginx.h"

using servicetest::fileExists;
using servicetest::randomBytes;
using servicetest::readFile;
using testsupport::TestNginx;

#ifndef DL_RESUME_HALF
#define DL_RESUME_HALF 1
#endif

namespace {

// Just enough bencode for the resume record: a flat dictionary of integers and
// strings.
struct Record {
    QMap<QByteArray, qint64> integers;
    QMap<QByteArray, QByteArray> strings;
};

bool readDigits(const QByteArray& text, int& pos, char end, qint64& value) {
    const int stop = text.indexOf(end, pos);
    if (stop < 0) return false;
    bool ok = false;
    value = text.mid(pos, stop - pos).toLongLong(&ok);
    pos = stop + 1;
    return ok;
}

bool readString(const QByteArray& text, int& pos, QByteArray& out) {
    qint64 length = 0;
    if (!readDigits(text, pos, ':', length) || length < 0 || pos + length > text.size()) return false;
    out = text.mid(pos, int(length));
    pos += int(length);
    return true;
}

bool decodeRecord(const QByteArray& text, Record& record) {
    int pos = 0;
    if (text.isEmpty() || text[0] != 'd') return false;
    ++pos;
    while (pos < text.size() && text[pos] != 'e') {
        QByteArray key;
        if (!readString(text, pos, key) || pos >= text.size()) return false;
        if (text[pos] == 'i') {
            ++pos;
            qint64 value = 0;
            if (!readDigits(text, pos, 'e', value)) return false;
            record.integers[key] = value;
        } else {
            QByteArray value;
            if (!readString(text, pos, value)) return false;
            record.strings[key] = value;
        }
    }
    return pos < text.size();
}

struct Span {
    qint64 begin;
    qint64 end;  // exclusive
};

// Bytes of [begin, end) that lie in one of the spans.
qint64 overlap(const QVector<Span>& spans, qint64 begin, qint64 end) {
    qint64 count = 0;
    for (const Span& span : spans) count += std::max<qint64>(0, std::min(end, span.end) - std::max(begin, span.begin));
    return count;
}

// Sends one request for `path` to 127.0.0.1:`port` and waits for its answer.
bool requestOnce(int port, const QByteArray& path) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(10000)) return false;
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000)) socket.readAll();
    return true;
}

}  // namespace

class TestServiceResume : public QObject {
    Q_OBJECT

private:
    TestNginx m_nginx;
    QTemporaryDir m_out;
    std::string m_content;
    // Per request 32 KiB/s (nginx lets the first second's worth go at once):
    // a kill lands in the middle of ranges, with the record behind the data.
    const qint64 m_rate = 32 * 1024;

private slots:
    void initTestCase() {
        ZN_REQUIRE_BINARY("nginx");
        QVERIFY(m_out.isValid());
        m_content = randomBytes(3 * 1024 * 1024 + 4321, 2024);
        m_nginx.addFile("resume/file.bin", QByteArray::fromStdString(m_content));
        m_nginx.addThrottle("/resume/", m_rate);
        QString error;
        QVERIFY2(m_nginx.start(&error), qPrintable(error));
    }

    // Two runs of one target at once (two processes): the data file's lock
    // keeps the second out (failed), and the first still ends with the file
    // intact.
    void twoRunsOfOneTarget() {
        if (DL_RESUME_HALF != 1) QSKIP("a case of the first half, tst_service_resume");
        const QString url = m_nginx.httpUrl("/resume/file.bin");
        const QString dir = m_out.path() + "/twice";
        QVERIFY(QDir().mkpath(dir));
        const std::string target = (dir + "/file.bin").toStdString();
        QProcess first;
        first.start(DL_RESUME_TOOL, {url, QString::fromStdString(target)});
        QVERIFY(first.waitForStarted());
        bool downloading = false;
        while (!downloading && first.waitForReadyRead(10000)) {
            while (first.canReadLine()) {
                const QList<QByteArray> parts = first.readLine().trimmed().split(' ');
                if (parts.size() == 4 && parts[3] == "3" && parts[1].toLongLong() > 0) downloading = true;
            }
        }
        QVERIFY(downloading);
        QProcess second;
        second.start(DL_RESUME_TOOL, {url, QString::fromStdString(target)});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitCode(), 10 + int(DownloadTaskFailed));
        // The second run left the first one's resume record alone.
        if (first.state() == QProcess::Running) QVERIFY(fileExists(target + ".cfg"));
        QVERIFY(first.waitForFinished(300000));
        QCOMPARE(first.exitCode(), 0);
        QVERIFY(readFile(target) == m_content);
        QVERIFY(!fileExists(target + ".tmp"));
        QVERIFY(!fileExists(target + ".cfg"));
        QDir(dir).removeRecursively();
    }

    // The process exits (main returns) while its task downloads over TLS: the
    // exit is clean (no crash, no sanitizer report), the task's files stay,
    // and the next run completes the file.
    void exitWhileDownloading() {
        if (DL_RESUME_HALF != 1) QSKIP("a case of the first half, tst_service_resume");
        const QString url = m_nginx.httpsUrl("/resume/file.bin");
        const QString dir = m_out.path() + "/exit";
        QVERIFY(QDir().mkpath(dir));
        const std::string target = (dir + "/file.bin").toStdString();
        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(DL_RESUME_TOOL, {url, QString::fromStdString(target), m_nginx.caCertPath(), "0.3"});
        QVERIFY(first.waitForFinished(120000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 5);
        QVERIFY(!fileExists(target));
        QVERIFY(fileExists(target + ".tmp"));
        QProcess second;
        second.start(DL_RESUME_TOOL, {url, QString::fromStdString(target), m_nginx.caCertPath()});
        QVERIFY(second.waitForFinished(300000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(readFile(target) == m_content);
        QDir(dir).removeRecursively();
    }

    void killAndResume() {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        const QString url = m_nginx.httpUrl("/resume/file.bin");
        const qint64 size = qint64(m_content.size());
        qInfo("%4s %8s %10s %10s %10s %8s", "run", "kill at", "record", "tmp ok", "asked", "result");
        // 10 runs in each half; the thread-sanitizer stage asks for fewer
        // (DL_RESUME_RUNS).
        const int runs =
            qEnvironmentVariableIsSet("DL_RESUME_RUNS") ? qEnvironmentVariableIntValue("DL_RESUME_RUNS") : 10;
        QVERIFY(runs > 0);
        for (int run = 0; run < runs; ++run) {
            const double fraction = 0.1 + 0.8 * random.generateDouble();
            const QString dir = m_out.path() + QString("/run-%1").arg(run);
            QVERIFY(QDir().mkpath(dir));
            const std::string target = (dir + "/file.bin").toStdString();

            // Run 1, killed part-way.
            QProcess first;
            first.start(DL_RESUME_TOOL, {url, QString::fromStdString(target)});
            QVERIFY(first.waitForStarted());
            qint64 doneAtKill = -1;
            QElapsedTimer clock;
            clock.start();
            while (doneAtKill < 0 && clock.elapsed() < 120000) {
                if (!first.canReadLine() && !first.waitForReadyRead(1000)) {
                    QVERIFY2(first.state() == QProcess::Running, "the tool ended before it was killed");
                    continue;
                }
                while (first.canReadLine()) {
                    const QList<QByteArray> parts = first.readLine().trimmed().split(' ');
                    if (parts.size() == 4 && parts[0] == "P" && parts[2].toLongLong() > 0 &&
                        parts[1].toLongLong() >= qint64(fraction * double(size))) {
                        ::kill(pid_t(first.processId()), SIGKILL);
                        doneAtKill = parts[1].toLongLong();
                        break;
                    }
                }
            }
            QVERIFY2(doneAtKill >= 0, "no progress to kill at");
            QVERIFY(first.waitForFinished(10000));
            QVERIFY(!fileExists(target));

            // The record agrees with the data file: every piece it marks holds
            // the source's bytes.
            const std::string tmp = readFile(target + ".tmp");
            std::vector<bool> written(size_t(size), false);
            for (size_t i = 0; i < tmp.size() && i < m_content.size(); ++i) written[i] = tmp[i] == m_content[i];
            QVector<Span> recorded;
            qint64 recordedBytes = 0;
            // Killed before the first one-second tick: the record is still the
            // empty file the start made, and everything is fetched again.
            const QByteArray cfg = QByteArray::fromStdString(readFile(target + ".cfg"));
            if (!cfg.isEmpty()) {
                Record record;
                QVERIFY2(decodeRecord(cfg, record), cfg.left(80).constData());
                QCOMPARE(record.integers.value("file_size"), size);
                const qint64 piece = record.integers.value("piece_size");
                QVERIFY(piece > 0);
                QCOMPARE(record.integers.value("piece_num"), (size + piece - 1) / piece);
                QCOMPARE(record.strings.value("final_url"), url.toUtf8());
                const QByteArray bits = record.strings.value("bitfield");
                QCOMPARE(qint64(bits.size()), (record.integers.value("piece_num") + 7) / 8);
                for (qint64 i = 0; i < record.integers.value("piece_num"); ++i) {
                    if (!(uchar(bits[int(i / 8)]) & (0x80 >> (i % 8)))) continue;
                    const qint64 begin = i * piece;
                    const qint64 end = std::min(begin + piece, size);
                    QVERIFY2(qint64(tmp.size()) >= end, "the record marks a piece beyond the data file");
                    QVERIFY2(tmp.compare(size_t(begin), size_t(end - begin), m_content, size_t(begin),
                                         size_t(end - begin)) == 0,
                             qPrintable(QString("piece %1 marked but not written").arg(i)));
                    if (!recorded.isEmpty() && recorded.last().end == begin)
                        recorded.last().end = end;
                    else
                        recorded.append({begin, end});
                    recordedBytes += end - begin;
                }
            }

            // Requests of run 1 may still be logged (nginx logs a request when
            // it notices its end): a marker request, logged once answered,
            // divides the connections. Those after it are run 2's.
            const QByteArray marker = "/marker-" + QByteArray::number(run);
            QVERIFY(requestOnce(m_nginx.httpPort(), marker));
            qint64 markerConnection = -1;
            QElapsedTimer waited;
            waited.start();
            while (markerConnection < 0 && waited.elapsed() < 30000) {
                for (const auto& entry : m_nginx.accessLog())
                    if (entry.uri == QString::fromLatin1(marker)) markerConnection = entry.connection;
                if (markerConnection < 0) QThread::msleep(20);
            }
            QVERIFY2(markerConnection >= 0, "the marker request was not logged");

            // Run 2 resumes.
            QProcess second;
            second.start(DL_RESUME_TOOL, {url, QString::fromStdString(target)});
            QVERIFY(second.waitForStarted());
            QVERIFY(second.waitForFinished(300000));
            QCOMPARE(second.exitCode(), 0);
            QVERIFY(readFile(target) == m_content);
            QVERIFY(!fileExists(target + ".tmp"));
            QVERIFY(!fileExists(target + ".cfg"));

            // What run 2 asked for: one probe ("bytes=0-", read only for a
            // first range that no marked piece holds) and ranges, none of
            // which holds a byte of a marked piece. A connection older than
            // the marker's asked in run 1. The probe's connection is closed
            // once its range is read, and nginx may log it a little later.
            QList<testsupport::AccessLogEntry> log;
            int probes = 0;
            waited.restart();
            while (probes == 0 && waited.elapsed() < 30000) {
                log = m_nginx.accessLog();
                for (const auto& entry : log)
                    if (entry.uri == "/resume/file.bin" && entry.connection > markerConnection &&
                        entry.range == "bytes=0-")
                        ++probes;
                if (probes == 0) QThread::msleep(20);
            }
            QCOMPARE(probes, 1);
            qint64 asked = 0;
            for (const auto& entry : log) {
                if (entry.uri != "/resume/file.bin" || entry.connection <= markerConnection) continue;
                if (entry.range == "bytes=0-") continue;
                const QStringList parts = entry.range.mid(6).split('-');
                bool firstOk = false, lastOk = false;
                const qint64 begin = parts.value(0).toLongLong(&firstOk);
                const qint64 end = parts.value(1).toLongLong(&lastOk) + 1;
                QVERIFY2(entry.range.startsWith("bytes=") && parts.size() == 2 && firstOk && lastOk && begin < end,
                         qPrintable("not a range: " + entry.range));
                asked += end - begin;
                QVERIFY2(overlap(recorded, begin, end) == 0,
                         qPrintable(QString("run %1: %2 asks again for %3 bytes of pieces the record marked")
                                        .arg(run)
                                        .arg(entry.range)
                                        .arg(overlap(recorded, begin, end))));
            }
            qInfo("%4d %7.0f%% %10lld %10lld %10lld %8s", run, 100.0 * double(doneAtKill) / double(size),
                  static_cast<long long>(recordedBytes),
                  static_cast<long long>(std::count(written.begin(), written.end(), true)),
                  static_cast<long long>(asked), "exact");
            QDir(dir).removeRecursively();
        }
    }
};

QTEST_GUILESS_MAIN(TestServiceResume)
#include "tst_service_resume.moc"
