// The fault matrix: the download service against a scripted server that
// misbehaves in one way per row. For every row the task must reach an end
// state within the bound, and state 4 only with the exact content. The stall
// time-out is 1 s here (11 s in the product) so the rows run quickly; the
// table printed at the end gives state, time, requests and connections. An
// open may take 2 s here (30 s in the product).
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../TurkishLocale.h"
#include "FaultServer.h"
#include "ServiceTestUtil.h"
#include "dlhttp/DownloadTaskManager.h"
#include "dlhttp/native_file.h"
#include "dlhttp/range_map.h"
#include "dlhttp/resume_record.h"

using servicetest::fileExists;
using servicetest::randomBytes;
using servicetest::readFile;

namespace {

// A storage whose writes fail once a few have gone through: a full disk.
class FullDiskStorage : public dlhttp::default_storge {
public:
    std::int64_t write(const char* buffer, std::int64_t offset, int size) override {
        if (++writes_ > 20) return size / 2;  // a short write, as on ENOSPC
        return default_storge::write(buffer, offset, size);
    }

private:
    int writes_ = 0;
};

dlhttp::storage_interface* makeFullDiskStorage() { return new FullDiskStorage; }

// A storage that reports every write done and writes nothing.
class LyingStorage : public dlhttp::default_storge {
public:
    std::int64_t write(const char*, std::int64_t, int size) override { return size; }
};

dlhttp::storage_interface* makeLyingStorage() { return new LyingStorage; }

// A storage that stores only half of one write in the middle of the run and
// says so: those bytes are not written, and the run must not end finished.
class HalfWriteStorage : public dlhttp::default_storge {
public:
    std::int64_t write(const char* buffer, std::int64_t offset, int size) override {
        if (++writes_ == 30) return default_storge::write(buffer, offset, size / 2);
        return default_storge::write(buffer, offset, size);
    }

private:
    int writes_ = 0;
};

dlhttp::storage_interface* makeHalfWriteStorage() { return new HalfWriteStorage; }

// A disk that is full while the flag is set, and has room again after.
std::atomic<bool> g_diskFull{true};

class SwitchedDiskStorage : public dlhttp::default_storge {
public:
    std::int64_t write(const char* buffer, std::int64_t offset, int size) override {
        if (g_diskFull && ++writes_ > 100) return -1;
        return default_storge::write(buffer, offset, size);
    }

private:
    int writes_ = 0;
};

dlhttp::storage_interface* makeSwitchedDiskStorage() { return new SwitchedDiskStorage; }

struct Row {
    const char* name;
    std::function<void(FaultServer&)> script;
    int64_t size;
    // Picks settings through the hook (a part of the target's name):
    // "fulldisk" (writes fail), "lyingdisk" (writes do nothing), "halfwrite" (one write stores half),
    // "longstall" (a stall time-out of 600 s, so
    // that only a silent connection may wait for it), "ratelimit" (256 KiB per
    // tick over 16 connections).
    const char* tag;
    // The end states allowed for the row.
    std::vector<int> allowed;
    // Most requests the server may see (-1: no bound): restarts that should
    // not happen show here.
    int maxRequests;
    // Most connections the server may see (-1: only the general bound).
    int maxConnections = -1;
    // Connections of the task.
    int slots = 16;
};

struct Outcome {
    std::string name;
    int state;
    double seconds;
    int requests;
    int connections;
    bool contentOk;
};

std::mutex g_tableLock;
std::vector<Outcome> g_table;

void settingsForTests(DownloadSettings& settings) {
    settings.stall_time_out = 1;
    settings.open_time_out = 2;
    const std::wstring& path = settings.save_path;
    if (path.find(L"fulldisk") != std::wstring::npos) settings.storage = makeFullDiskStorage;
    if (path.find(L"lyingdisk") != std::wstring::npos) settings.storage = makeLyingStorage;
    if (path.find(L"halfwrite") != std::wstring::npos) settings.storage = makeHalfWriteStorage;
    if (path.find(L"switcheddisk") != std::wstring::npos) settings.storage = makeSwitchedDiskStorage;
    if (path.find(L"longstall") != std::wstring::npos) settings.stall_time_out = 600;
    if (path.find(L"ratelimit") != std::wstring::npos) settings.rate_limit = 256 * 1024;
    if (path.find(L"cloexec") != std::wstring::npos) {
        settings.stall_time_out = 600;
        settings.open_time_out = 600;
    }
}

class FaultMatrix : public ::testing::TestWithParam<int> {
public:
    static void SetUpTestSuite() { DownloadTaskManager::instance()->settings_hook = settingsForTests; }
    static void TearDownTestSuite() {
        std::lock_guard<std::mutex> lock(g_tableLock);
        if (g_table.empty()) return;
        std::printf("\n%-44s %6s %8s %9s %12s %8s\n", "row", "state", "seconds", "requests", "connections", "content");
        for (const Outcome& o : g_table)
            std::printf("%-44s %6d %8.1f %9d %12d %8s\n", o.name.c_str(), o.state, o.seconds, o.requests, o.connections,
                        o.state == 4 ? (o.contentOk ? "exact" : "WRONG") : "-");
    }
};

const int64_t kSize = 1024 * 1024 + 777;
const int64_t kRequest = 8 * 16384;  // the service's range: 8 pieces of 16384
// Ranges of a kSize file: the probe's answer is read for the first.
const int kRanges = static_cast<int>((kSize + kRequest - 1) / kRequest);
// A file of more ranges than a task has connections.
const int64_t kBig = 4 * 1024 * 1024 + 3;
const int kBigRanges = static_cast<int>((kBig + kRequest - 1) / kRequest);

std::vector<Row> rows() {
    using S = FaultServer&;
    return {
        {"ranges ignored after 4 requests", [](S s) { s.script().ignoreRangesAfter = 4; }, kSize, "", {2}, -1},
        {"wrong Content-Range", [](S s) { s.script().shiftRangesBy = 100; }, kSize, "", {2}, -1},
        {"connections dropped mid-range", [](S s) { s.script().dropAfterBytes = 50000; }, kSize, "", {4}, -1},
        {"silent from the first request", [](S s) { s.script().silentAll = true; }, kSize, "", {1}, -1},
        {"silent after the probe", [](S s) { s.script().silentAfterProbe = true; }, kSize, "", {2}, -1},
        {"persistent 503", [](S s) { s.script().statusAfterProbe = 503; }, kSize, "", {2}, -1},
        {"416 for every range", [](S s) { s.script().statusAfterProbe = 416; }, kSize, "", {2}, -1},
        {"file grows after the probe", [](S s) { s.script().sizeAfterProbe = kSize + 5000; }, kSize, "", {2}, -1},
        {"file shrinks after the probe", [](S s) { s.script().sizeAfterProbe = kSize - 5000; }, kSize, "", {2}, -1},
        {"gzip-coded answers", [](S s) { s.script().gzipAll = true; }, kSize, "", {1}, -1},
        {"full disk", [](S) {}, kSize, "fulldisk", {1}, -1},
        {"no ranges (200 only)", [](S s) { s.script().noRanges = true; }, kSize, "", {4}, 1},
        {"no keep-alive", [](S s) { s.script().keepAlive = false; }, kSize, "", {4}, kRanges},
        {"healthy", [](S) {}, kSize, "", {4}, kRanges},
        // A redirect is followed only by the probe: ranged answers from
        // another file (of the same size) are never written.
        {"ranged requests redirected to another file",
         [](S s) {
             s.script().redirectRangesTo = "/other.bin";
             s.addFile("/other.bin", randomBytes(kSize, 4242));
         },
         kSize,
         "",
         {2},
         -1},
        {"probe redirected", [](S s) { s.script().redirectProbeTo = "/moved.bin"; }, kSize, "", {4}, kRanges + 1},
        // No size, no completeness: the whole body arrives, yet the run
        // cannot know that it did.
        {"no size (200 without a length)", [](S s) { s.script().noLength = true; }, kSize, "", {2}, 1},
        // A chunked body ends with its last chunk: that one is whole, and its
        // size is what arrived; cut before it, it stays incomplete.
        {"chunked without a length", [](S s) { s.script().chunked = true; }, kSize, "", {4}, 1},
        {"chunked without a length, closing",
         [](S s) {
             s.script().chunked = true;
             s.script().keepAlive = false;
         },
         kSize,
         "",
         {4},
         1},
        {"chunked, cut before the last chunk",
         [](S s) {
             s.script().chunked = true;
             s.script().cutBeforeLastChunk = true;
         },
         kSize,
         "",
         {2},
         1},
        // "bytes=0-" of an empty file is refused with "bytes */0": the file
        // is empty. The same answer for a file that has bytes is a failure.
        {"empty file, probe answered 416 bytes */0", [](S) {}, 0, "", {4}, 1},
        {"probe answered 416 bytes */size", [](S s) { s.script().refuseProbeWithSize = kSize; }, kSize, "", {1}, 1},
        // HTTP/1.1 keeps a connection unless an answer says "close": one
        // connection per connection slot (the probe's open-ended answer is
        // not reused, so its slot opens one more).
        {"kept alive without a Connection field",
         [](S s) { s.script().noConnectionField = true; },
         kBig,
         "",
         {4},
         kBigRanges,
         16 + 1},
        // A kept connection that the server closed without saying so is
        // opened again at once: no attempt counts as failed, so two slots
        // fetch many ranges each without ever being given up, and no range is
        // asked twice from the server.
        {"kept connections closed without saying so",
         [](S s) { s.script().closeSilently = true; },
         kBig,
         "longstall",
         {4},
         kBigRanges,
         -1,
         2},
        {"kept connections closed at the next request",
         [](S s) {
             s.script().closeSilently = true;
             s.script().closeOnNextRequest = true;
         },
         kBig,
         "longstall",
         {4},
         kBigRanges,
         -1,
         2},
        // One write stores half its bytes: they are not counted as written.
        {"storage that writes half of one write", [](S) {}, kSize, "halfwrite", {1}, -1},
        // A refused file is given up at once, connection by connection.
        {"404 for every range", [](S s) { s.script().statusAfterProbe = 404; }, kSize, "", {2}, kRanges},
        // The ranges of refused connections go to the ones that work.
        {"4 connections served, 503 beyond",
         [](S s) {
             s.script().maxServedConnections = 4;
             s.script().bytesPerSecond = 128 * 1024;
         },
         4 * 1024 * 1024 + 3,
         "",
         {4},
         -1},
        // A connection that was closed is restarted without waiting for the
        // stall time-out; a server that never delivers still ends the run.
        {"dropped mid-range, long stall time-out",
         [](S s) { s.script().dropAfterBytes = 50000; },
         kSize,
         "longstall",
         {4},
         -1},
        {"persistent 503, long stall time-out",
         [](S s) { s.script().statusAfterProbe = 503; },
         kSize,
         "longstall",
         {2},
         -1},
        // Ranged answers that end their connection: the next range goes on a
        // new one (the server counts requests that come after its "close").
        {"ranged answers say close",
         [](S s) {
             s.script().closeRangedAnswers = true;
             s.script().lingerAfterClose = true;
         },
         4 * 1024 * 1024 + 3,
         "longstall",
         {4},
         -1},
        // A probe answered with a part of the file: the size is the total.
        {"probe answered with 64 KiB of the file",
         [](S s) { s.script().probeAnswerBytes = 65536; },
         kSize,
         "",
         {4},
         kRanges + 1},
        // The limiter waits on a timer: no connection stalls for it, so none
        // is restarted (a blocking wait would stall them all).
        {"rate limit over 16 connections", [](S) {}, kSize, "ratelimit", {4}, kRanges},
        // The data file is shorter than the size at the end: the finish step
        // never fills it up with zeros.
        {"storage that writes nothing", [](S) {}, kSize, "lyingdisk", {1}, -1},
        // A "Location" on the probe's final answer is no redirect: the ranges
        // come from the URL that answered, never from the file it names.
        {"probe's 206 names another file",
         [](S s) {
             s.script().locationOnOpenEnded = "/elsewhere.bin";
             s.addFile("/elsewhere.bin", randomBytes(kSize, 4343));
         },
         kSize,
         "",
         {4},
         kRanges},
        {"probe's 200 names another file",
         [](S s) {
             s.script().noRanges = true;
             s.script().locationOnOpenEnded = "/elsewhere.bin";
             s.addFile("/elsewhere.bin", randomBytes(kSize, 4343));
         },
         kSize,
         "",
         {4},
         1},
        {"probe redirected, its 206 names another file",
         [](S s) {
             s.script().redirectProbeTo = "/moved.bin";
             s.script().locationOnOpenEnded = "/elsewhere.bin";
             s.addFile("/elsewhere.bin", randomBytes(kSize, 4343));
         },
         kSize,
         "",
         {4},
         kRanges + 1},
    };
}

TEST_P(FaultMatrix, EndsWithinTheBoundAndNeverFinishesWrong) {
    const Row row = rows()[static_cast<size_t>(GetParam())];
    const std::string content = randomBytes(row.size, static_cast<uint32_t>(GetParam() + 10));
    FaultServer server(content);
    row.script(server);
    ASSERT_TRUE(server.start());
    const std::string target = "/tmp/dl3-fault-" + std::to_string(::getpid()) + "-" + std::to_string(GetParam()) +
                               (*row.tag ? "-" : "") + row.tag + ".bin";
    std::remove(target.c_str());
    std::remove((target + ".tmp").c_str());
    std::remove((target + ".cfg").c_str());

    // Every row has a URL of its own: a port that an earlier row used may come
    // again, and the same URL would be the same task.
    const std::string path = "/row" + std::to_string(GetParam()) + "/file.bin";
    const servicetest::RunResult run = servicetest::runDownload(server.url(path), target, 90, row.slots);
    const int requests = server.requests();
    const int connections = server.connections();
    server.stop();
    ASSERT_TRUE(run.started);
    const bool contentOk = run.state == 4 && readFile(target) == content;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        g_table.push_back({row.name, run.state, run.seconds, requests, connections, contentOk});
    }
    ASSERT_NE(run.state, 0) << row.name << ": no end state within the bound";
    EXPECT_FALSE(run.sawBadState);
    EXPECT_NE(std::find(row.allowed.begin(), row.allowed.end(), run.state), row.allowed.end())
        << row.name << ": state " << run.state;
    if (run.state == 4) {
        EXPECT_TRUE(contentOk) << row.name << ": finished with wrong content";
        EXPECT_FALSE(fileExists(target + ".tmp"));
        EXPECT_FALSE(fileExists(target + ".cfg"));
    } else {
        EXPECT_FALSE(fileExists(target)) << row.name << ": a target although not finished";
    }
    EXPECT_LE(connections, 16 + 16 * 6) << row.name;  // 16, each replaced at most a bounded number of times
    if (row.maxRequests >= 0) {
        EXPECT_LE(requests, row.maxRequests) << row.name;
    }
    if (row.maxConnections >= 0) {
        EXPECT_LE(connections, row.maxConnections) << row.name;
    }
    EXPECT_EQ(server.requestsAfterClose(), 0) << row.name << ": a request on a connection its answer closed";
    std::remove(target.c_str());
    std::remove((target + ".tmp").c_str());
    std::remove((target + ".cfg").c_str());
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, ::testing::Range(0, static_cast<int>(rows().size())),
                         [](const ::testing::TestParamInfo<int>& info) { return "row" + std::to_string(info.param); });

// A run that failed in the middle of its transfer (the disk filled up) is
// started again once there is room: nothing of the failed run interferes, and
// the file ends complete and exact.
TEST_F(FaultMatrix, FailedRunThenAGoodOne) {
    const std::string content = randomBytes(3 * 1024 * 1024 + 3, 77);
    FaultServer server(content);
    ASSERT_TRUE(server.start());
    const std::string target = "/tmp/dl3-switcheddisk-" + std::to_string(::getpid()) + ".bin";
    g_diskFull = true;
    const servicetest::RunResult first = servicetest::runDownload(server.url("/switched/file.bin"), target, 90);
    ASSERT_TRUE(first.started);
    EXPECT_EQ(first.state, DownloadTaskFailed);
    EXPECT_FALSE(fileExists(target));
    g_diskFull = false;
    const servicetest::RunResult second = servicetest::runDownload(server.url("/switched/file.bin"), target, 90);
    server.stop();
    EXPECT_EQ(second.id, first.id);
    EXPECT_EQ(second.state, DownloadTaskFinished);
    EXPECT_TRUE(readFile(target) == content);
    std::remove(target.c_str());
}

// Under a Turkish locale "IDENTITY" lowers to "ıdentıty" through the C
// library: the coding of the answer must still read as no coding, so the
// download goes over all its connections and ends with the exact file.
TEST(UnderATurkishLocale, UpperCaseIdentityCodingIsNoCoding) {
    TurkishLocale turkish;
    REQUIRE_TURKISH_LOCALE(turkish);
    const std::string content = randomBytes(kSize, 31);
    FaultServer server(content);
    server.script().contentEncoding = "IDENTITY";
    ASSERT_TRUE(server.start());
    const std::string target = "/tmp/dl3-turkish-" + std::to_string(::getpid()) + ".bin";
    const servicetest::RunResult run = servicetest::runDownload(server.url("/turkish/file.bin"), target, 90);
    const int requests = server.requests();
    server.stop();
    EXPECT_EQ(run.state, DownloadTaskFinished);
    EXPECT_TRUE(readFile(target) == content);
    EXPECT_GT(requests, 1);
    std::remove(target.c_str());
}

// The last byte of a range: a server that drops every range answer one byte
// short. The missing byte must be fetched on the restart, not left for a
// later run.
TEST(FaultServerRanges, RestartFetchesTheLastByteOfARange) {
    const std::string content = randomBytes(300000, 99);
    FaultServer server(content);
    server.script().dropAfterBytes = 131071;  // one byte short of 8 pieces of 16384
    ASSERT_TRUE(server.start());
    const std::string target = "/tmp/dl3-lastbyte-" + std::to_string(::getpid()) + ".bin";
    const servicetest::RunResult run = servicetest::runDownload(server.url("/lastbyte/file.bin"), target, 90);
    server.stop();
    EXPECT_EQ(run.state, 4);
    EXPECT_TRUE(readFile(target) == content);
    // Every one-byte remainder was asked for on its own.
    int single = 0;
    for (const std::string& range : server.ranges()) {
        long long first = 0, last = 0;
        if (std::sscanf(range.c_str(), "bytes=%lld-%lld", &first, &last) == 2 && first == last) ++single;
    }
    EXPECT_GE(single, 1);
    std::remove(target.c_str());
}

// Resume records planted beside the target, as a crash, a kill between the
// rename and the removal of the record, or another download leaves them. A
// record counts only for this file at this URL and only with its data; a run
// that drops it starts afresh and still ends with the exact file.
struct PlantedCase {
    const char* name;
    int64_t recordSize;  // the size the record names (0: the file's)
    // The record's URL ("": the task's); "%s" stands for the task's URL, "%u"
    // for its path, "%p" for the server's port and "%q" for another port.
    std::string recordUrl;
    int64_t markedEnd;   // pieces [0, markedEnd) are marked (a multiple of the piece size, or the size)
    int64_t dataLength;  // bytes of the data file (-1: none); the marked ones are the file's
    bool garbage;        // the data file holds other bytes instead
    bool resumed;        // the record must be used: no range asks for a marked byte
};

class PlantedRecords : public ::testing::TestWithParam<int> {
public:
    static void SetUpTestSuite() { DownloadTaskManager::instance()->settings_hook = settingsForTests; }
};

const int64_t kHalf = 32 * 16384;

std::vector<PlantedCase> plantedCases() {
    return {
        {"every piece marked, no data file", 0, "", kSize, -1, false, false},
        {"every piece marked, empty data file", 0, "", kSize, 0, false, false},
        {"half marked, data file shorter than the marked pieces", 0, "", kHalf, kHalf / 2, false, false},
        {"record for another file size", kSize + 5000, "", kSize + 5000, kSize + 5000, true, false},
        {"record for another path", 0, "http://127.0.0.1:%p/elsewhere.bin", kSize, kSize, true, false},
        {"record for another scheme", 0, "https://127.0.0.1:%p%u", kSize, kSize, true, false},
        {"record for another port", 0, "http://127.0.0.1:%q%u", kSize, kSize, true, false},
        {"signed link: only the query differs", 0, "%s?signature=old", kHalf, kHalf, false, true},
        {"sound record with its data", 0, "%s", kHalf, kHalf, false, true},
        {"sound record, data file longer than the file", 0, "%s", kHalf, kSize + 999, false, true},
    };
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_P(PlantedRecords, FinishedMeansTheExactFile) {
    const PlantedCase c = plantedCases()[static_cast<size_t>(GetParam())];
    const std::string content = randomBytes(kSize, static_cast<uint32_t>(GetParam() + 500));
    FaultServer server(content);
    ASSERT_TRUE(server.start());
    const std::string path = "/planted" + std::to_string(GetParam()) + "/file.bin";
    const std::string url = server.url(path);
    const std::string target = "/tmp/dl3-planted-" + std::to_string(::getpid()) + "-" + std::to_string(GetParam());
    std::remove(target.c_str());

    dlhttp::resume_record record;
    record.final_url = c.recordUrl.empty() ? url : c.recordUrl;
    const int otherPort = server.port() == 65535 ? 65534 : server.port() + 1;
    const std::pair<const char*, std::string> marks[] = {
        {"%s", url}, {"%p", std::to_string(server.port())}, {"%q", std::to_string(otherPort)}, {"%u", path}};
    for (const auto& mark : marks) record.final_url = replaceAll(record.final_url, mark.first, mark.second);
    record.file_size = c.recordSize ? c.recordSize : kSize;
    record.piece_size = 16384;
    record.piece_num = dlhttp::piece_count(record.file_size, record.piece_size);
    dlhttp::range_map marked;
    marked.reset(record.file_size);
    marked.add(0, c.markedEnd);
    record.bitfield = marked.to_bitfield(record.piece_size);
    {
        std::ofstream cfg(target + ".cfg", std::ios::binary);
        cfg << record.encode();
    }
    std::remove((target + ".tmp").c_str());
    if (c.dataLength >= 0) {
        std::string data = c.garbage ? randomBytes(c.dataLength, 999) : content.substr(0, size_t(c.dataLength));
        data.resize(size_t(c.dataLength), '\0');
        std::ofstream tmp(target + ".tmp", std::ios::binary);
        tmp << data;
    }

    const servicetest::RunResult run = servicetest::runDownload(url, target, 90);
    const std::vector<std::string> ranges = server.ranges();
    server.stop();
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.state, DownloadTaskFinished) << c.name;
    EXPECT_TRUE(readFile(target) == content) << c.name << ": finished with wrong bytes";
    EXPECT_FALSE(fileExists(target + ".tmp")) << c.name;
    EXPECT_FALSE(fileExists(target + ".cfg")) << c.name;
    // A used record fetches none of its marked bytes again; a dropped one
    // fetches the file from its first byte.
    bool askedMarked = false;
    for (const std::string& range : ranges) {
        long long first = 0, last = 0;
        if (std::sscanf(range.c_str(), "bytes=%lld-%lld", &first, &last) == 2 && first < c.markedEnd)
            askedMarked = true;
    }
    if (c.resumed) {
        EXPECT_FALSE(askedMarked) << c.name << ": the sound record was not used";
    } else {
        EXPECT_TRUE(askedMarked || ranges.size() == 1) << c.name << ": the record was trusted";
    }
    std::remove(target.c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, PlantedRecords, ::testing::Range(0, static_cast<int>(plantedCases().size())),
                         [](const ::testing::TestParamInfo<int>& info) { return "case" + std::to_string(info.param); });

// Target paths with characters beyond ASCII (accents, CJK, blanks, in
// folders and file names): the run ends finished with the exact file, as
// with any other path, also when a complete data file and record of an
// earlier run are there.
TEST(TargetPaths, NonAsciiNamesFinish) {
    DownloadTaskManager::instance()->settings_hook = settingsForTests;
    const std::string content = randomBytes(300000 + 17, 31);
    FaultServer server(content);
    ASSERT_TRUE(server.start());
    const std::string root = "/tmp/dl3-names-" + std::to_string(::getpid());
    const char* const names[] = {
        "T\xc3\xa9l\xc3\xa9"
        "chargements/setup.bin",                                                           // Téléchargements
        "\xe4\xb8\x8b\xe8\xbd\xbd/\xe5\xae\x89\xe8\xa3\x85 \xe7\xa8\x8b\xe5\xba\x8f.bin",  // CJK with a blank
        "with blanks/file \xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.bin",                           // Cyrillic
    };
    int index = 0;
    for (const char* name : names) {
        const std::string target = root + "/" + name;
        ASSERT_EQ(std::system(("mkdir -p \"" + target.substr(0, target.rfind('/')) + "\"").c_str()), 0);
        const servicetest::RunResult run =
            servicetest::runDownload(server.url("/names" + std::to_string(index++) + ".bin"), target, 90);
        ASSERT_TRUE(run.started) << name;
        EXPECT_EQ(run.state, DownloadTaskFinished) << name;
        EXPECT_TRUE(readFile(target) == content) << name;
        EXPECT_FALSE(fileExists(target + ".tmp")) << name;
        EXPECT_FALSE(fileExists(target + ".cfg")) << name;
    }
    server.stop();
    ASSERT_EQ(std::system(("rm -rf \"" + root + "\"").c_str()), 0);
}

// The finish step: a rename that fails leaves the run failed (the target is
// not there); a record that cannot be removed after a good rename does not
// change that the target is complete and exact.
TEST(FinishStep, FailedRenameIsFailed) {
    DownloadTaskManager::instance()->settings_hook = settingsForTests;
    const std::string content = randomBytes(200000, 41);
    FaultServer server(content);
    ASSERT_TRUE(server.start());
    // The target is a folder that is not empty: no file can be renamed onto it.
    const std::string target = "/tmp/dl3-rename-" + std::to_string(::getpid());
    ASSERT_EQ(std::system(("mkdir -p " + target + "/inside").c_str()), 0);
    const servicetest::RunResult run = servicetest::runDownload(server.url("/rename/file.bin"), target, 90);
    server.stop();
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.state, DownloadTaskFailed);
    EXPECT_TRUE(readFile(target + ".tmp") == content);  // kept for the next start
    ASSERT_EQ(std::system(("rm -rf " + target + " " + target + ".tmp " + target + ".cfg").c_str()), 0);
}

TEST(FinishStep, RecordThatCannotBeRemovedStillFinishes) {
    DownloadTaskManager::instance()->settings_hook = settingsForTests;
    const std::string content = randomBytes(200000, 43);
    FaultServer server(content);
    ASSERT_TRUE(server.start());
    // The record's path is a folder that is not empty: it cannot be written,
    // read or removed.
    const std::string target = "/tmp/dl3-keepcfg-" + std::to_string(::getpid()) + ".bin";
    ASSERT_EQ(std::system(("mkdir -p " + target + ".cfg/inside").c_str()), 0);
    const servicetest::RunResult run = servicetest::runDownload(server.url("/keepcfg/file.bin"), target, 90);
    server.stop();
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.state, DownloadTaskFinished);
    EXPECT_TRUE(readFile(target) == content);
    EXPECT_FALSE(fileExists(target + ".tmp"));
    ASSERT_EQ(std::system(("rm -rf " + target + " " + target + ".cfg").c_str()), 0);
}

// Descriptors: no socket of a run stays open after its end, and while it runs
// every socket of the process is close-on-exec (a program started meanwhile
// inherits none).
std::vector<int> socketDescriptors() {
    std::vector<int> out;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return out;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        // By the link's text: the descriptors belong to other threads too.
        char link[64] = {0};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(path.c_str(), link, sizeof link - 1) > 0 && std::strncmp(link, "socket:", 7) == 0)
            out.push_back(std::atoi(entry->d_name));
    }
    ::closedir(dir);
    return out;
}

TEST(Descriptors, NoSocketStaysOpenAfterTheEnd) {
    DownloadTaskManager::instance()->settings_hook = settingsForTests;
    const size_t before = socketDescriptors().size();
    const std::string content = randomBytes(300000, 53);
    struct Case {
        const char* name;
        std::function<void(FaultServer&)> script;
        bool complete;  // a complete data file and record are there at the start
    } cases[] = {
        {"one connection", [](FaultServer& s) { s.script().noRanges = true; }, false},
        {"several connections", [](FaultServer&) {}, false},
        {"already complete at the start", [](FaultServer&) {}, true},
    };
    int index = 0;
    for (const Case& c : cases) {
        FaultServer server(content);
        c.script(server);
        ASSERT_TRUE(server.start());
        const std::string target = "/tmp/dl3-sockets-" + std::to_string(::getpid()) + "-" + std::to_string(index);
        const std::string url = server.url("/sockets" + std::to_string(index++) + "/file.bin");
        if (c.complete) {
            dlhttp::resume_record record;
            record.final_url = url;
            record.file_size = int64_t(content.size());
            record.piece_size = 16384;
            record.piece_num = dlhttp::piece_count(record.file_size, record.piece_size);
            dlhttp::range_map all;
            all.reset(record.file_size);
            all.add(0, record.file_size);
            record.bitfield = all.to_bitfield(record.piece_size);
            std::ofstream(target + ".cfg", std::ios::binary) << record.encode();
            std::ofstream(target + ".tmp", std::ios::binary) << content;
        }
        const servicetest::RunResult run = servicetest::runDownload(url, target, 90);
        if (c.complete) {
            EXPECT_EQ(server.requests(), 1) << c.name;
        }
        server.stop();
        EXPECT_EQ(run.state, DownloadTaskFinished) << c.name;
        EXPECT_TRUE(readFile(target) == content) << c.name;
        EXPECT_EQ(socketDescriptors().size(), before) << c.name << ": a socket of the run is still open";
        std::remove(target.c_str());
    }
}

TEST(Descriptors, SocketsAreCloseOnExec) {
    DownloadTaskManager::instance()->settings_hook = settingsForTests;
    const std::string content = randomBytes(kSize, 59);
    FaultServer server(content);
    server.script().silentAfterProbe = true;  // the ranged connections stay open, waiting
    ASSERT_TRUE(server.start());
    const std::string target = "/tmp/dl3-cloexec-" + std::to_string(::getpid()) + ".bin";
    DownloadTaskRequest request{dlhttp::detail::widen(server.url("/cloexec/file.bin")), dlhttp::detail::widen(target)};
    const uint32_t id = AddDownloadTask(request, 16);
    ASSERT_TRUE(StartDownloadTask(id));
    DownloadTaskStatus status;
    for (int i = 0; i < 1000 && server.requests() < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The connections wait for their answers: each socket was made
    // close-on-exec when it was opened, not at some later moment.
    int open = 0;
    for (int fd : socketDescriptors()) {
        ++open;
        EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << "socket " << fd << " is inherited by a started program";
    }
    EXPECT_GE(open, 5);
    // Stop the run while the server still holds its connections (the run
    // then ends incomplete and keeps its files).
    DownloadTaskManager::stop_all_at_exit();
    ASSERT_TRUE(QueryDownloadTask(id, status));
    server.stop();
    EXPECT_EQ(status.state, DownloadTaskIncomplete);
    std::remove(target.c_str());
    std::remove((target + ".tmp").c_str());
    std::remove((target + ".cfg").c_str());
}

}  // namespace
