// The download service and the range bookkeeping of the multi-connection
// download, without a server: task table, URL keys, states before a start,
// piece sizes and the byte-range map.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <pthread.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "dlhttp/DownloadService.h"
#include "dlhttp/DownloadTaskManager.h"
#include "dlhttp/multi_download.h"
#include "dlhttp/range_map.h"

using dlhttp::range_map;

// Runs first (the test order is the file order): nothing was added yet.
TEST(DownloadService, QueryBeforeAnyAddFailsAndCreatesNothing) {
    DownloadTaskStatus status;
    status.state = 77;
    EXPECT_FALSE(QueryDownloadTask(1, status));
    EXPECT_EQ(status.state, 77);
    EXPECT_EQ(DownloadTaskManager::instance(false), nullptr);
}

TEST(DownloadService, AddedTaskBeforeStart) {
    DownloadTaskRequest request{L"http://127.0.0.1:9/before-start.bin", L"/tmp/dl-unit-before-start.bin"};
    const uint32_t id = AddDownloadTask(request, 16);
    ASSERT_NE(id, 0u);
    DownloadTaskStatus status;
    status.reserved = 1234;
    ASSERT_TRUE(QueryDownloadTask(id, status));
    EXPECT_EQ(status.state, DownloadTaskCreated);
    EXPECT_TRUE(status.file_name.empty());
    EXPECT_EQ(status.file_size, -1);
    EXPECT_EQ(status.bytes_done, 0);
    EXPECT_EQ(status.rate, 0);
    EXPECT_TRUE(std::isfinite(status.fraction_done));
    EXPECT_EQ(status.reserved, 1234);  // never written
}

TEST(DownloadService, SameUrlGivesTheFirstTaskAndIgnoresTheNewTarget) {
    DownloadTaskRequest first{L"http://127.0.0.1:9/same.bin", L"/tmp/dl-unit-a.bin"};
    DownloadTaskRequest second{L"http://127.0.0.1:9/same.bin", L"/tmp/dl-unit-b.bin"};
    DownloadTaskRequest other{L"http://127.0.0.1:9/other.bin", L"/tmp/dl-unit-a.bin"};
    const uint32_t a = AddDownloadTask(first, 16);
    EXPECT_EQ(AddDownloadTask(second, 4), a);
    const uint32_t b = AddDownloadTask(other, 16);
    EXPECT_NE(b, a);
    EXPECT_NE(b, 0u);
}

TEST(DownloadService, UrlKeys) {
    // CRC-32 of the low bytes: "a" is 0xe8b7be43; no leading zeros, lower case.
    EXPECT_EQ(DownloadTaskManager::url_key(L"a"), "e8b7be43");
    EXPECT_EQ(DownloadTaskManager::url_key(L"123456789"), "cbf43926");
    EXPECT_EQ(DownloadTaskManager::url_key(L""), "0");
    // Only the low byte of each UTF-16 unit counts.
    EXPECT_EQ(DownloadTaskManager::url_key(L"http://h/\u0141"), DownloadTaskManager::url_key(L"http://h/A"));
    // A character beyond the BMP is two UTF-16 units (D83D DE00 -> 3D 00).
    EXPECT_EQ(DownloadTaskManager::url_key(L"\U0001F600"), DownloadTaskManager::url_key(std::wstring(L"=") + L'\0'));
}

TEST(DownloadService, UrlsDifferingInAHighByteShareOneTask) {
    DownloadTaskRequest first{L"http://127.0.0.1:9/\u0161.bin", L"/tmp/dl-unit-c.bin"};
    DownloadTaskRequest second{L"http://127.0.0.1:9/a.bin", L"/tmp/dl-unit-d.bin"};
    EXPECT_EQ(AddDownloadTask(first, 16), AddDownloadTask(second, 16));  // U+0161 has low byte 0x61 'a'
}

TEST(DownloadService, StartAndQueryRefuseUnknownIds) {
    DownloadTaskStatus status;
    EXPECT_FALSE(StartDownloadTask(0));
    EXPECT_FALSE(QueryDownloadTask(0, status));
    EXPECT_FALSE(StartDownloadTask(0xFFFFFFF0u));
    EXPECT_FALSE(QueryDownloadTask(0xFFFFFFF0u, status));
}

// A listener on 127.0.0.1 that the test keeps for its whole length: a port
// that was closed may be taken by another server at any moment, so the test
// drops the connections itself instead.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 4) != 0)
            return;
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }
    // The URL of `path` on this listener.
    std::wstring url(const std::wstring& path) const { return L"http://127.0.0.1:" + std::to_wstring(port_) + path; }
    // Accepts the next connection and closes it at once: the probe fails.
    bool dropNext() {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return false;
        ::close(client);
        return true;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

int32_t waitForEnd(uint32_t id) {
    DownloadTaskStatus status;
    for (int i = 0; i < 3000; ++i) {
        if (!QueryDownloadTask(id, status)) return 0;
        if (status.state == DownloadTaskFailed || status.state == DownloadTaskIncomplete ||
            status.state == DownloadTaskFinished)
            return status.state;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status.state;
}

// Two quick starts never start two runs: the probe hangs on a socket that is
// listening but never answers, so the first run is certainly still running
// when the second start comes; dropping the connection then ends the run
// (failed).
TEST(DownloadService, SecondStartOfARunningTaskIsRefused) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    const std::wstring url = listener.url(L"/hang.bin");

    DownloadTaskRequest request{url, L"/tmp/dl-unit-hang.bin"};
    const uint32_t id = AddDownloadTask(request, 16);
    ASSERT_TRUE(StartDownloadTask(id));
    EXPECT_FALSE(StartDownloadTask(id));
    EXPECT_FALSE(StartDownloadTask(id));
    // The probe's connection waits in the backlog; accept and drop it.
    ASSERT_TRUE(listener.dropNext());
    EXPECT_EQ(waitForEnd(id), DownloadTaskFailed);
    // An ended task may be started again.
    EXPECT_TRUE(StartDownloadTask(id));
    ASSERT_TRUE(listener.dropNext());
    EXPECT_EQ(waitForEnd(id), DownloadTaskFailed);
}

// A start whose thread cannot be created returns false, leaves the task
// unclaimed (failed) and lets nothing escape; a later start runs it. Thread
// creation is made to fail by a default stack size that cannot be mapped.
TEST(DownloadService, FailedThreadCreationGivesTheTaskBack) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    const std::wstring url = listener.url(L"/no-thread.bin");
    DownloadTaskRequest request{url, L"/tmp/dl-unit-no-thread.bin"};
    const uint32_t id = AddDownloadTask(request, 16);

    pthread_attr_t saved;
    ASSERT_EQ(::pthread_getattr_default_np(&saved), 0);
    pthread_attr_t huge;
    ::pthread_attr_init(&huge);
    ::pthread_attr_setstacksize(&huge, size_t(1) << 46);
    ASSERT_EQ(::pthread_setattr_default_np(&huge), 0);
    bool started = true;
    EXPECT_NO_THROW(started = StartDownloadTask(id));
    ::pthread_setattr_default_np(&saved);
    ::pthread_attr_destroy(&huge);
    ::pthread_attr_destroy(&saved);
    EXPECT_FALSE(started);
    DownloadTaskStatus status;
    ASSERT_TRUE(QueryDownloadTask(id, status));
    EXPECT_EQ(status.state, DownloadTaskFailed);

    ASSERT_TRUE(StartDownloadTask(id));
    ASSERT_TRUE(listener.dropNext());
    EXPECT_EQ(waitForEnd(id), DownloadTaskFailed);
}

TEST(MultiDownload, PieceSizes) {
    struct Case {
        int64_t size;
        int32_t piece;
    } cases[] = {
        {0, 16384},
        {100000, 16384},
        {10 * 1024 * 1024, 16384},              // 5120 per 2048
        {100 * 1024 * 1024, 65536},             // 51200 -> 65536
        {200 * 1024 * 1024, 131072},            // 102400 -> 131072
        {int64_t(64) << 30, 16777216},          // the cap
        {int64_t(1) << 50, 16777216},           // still the cap
        {int64_t(16384) * 2048 + 2048, 32768},  // just above one step
    };
    for (const Case& c : cases) EXPECT_EQ(dlhttp::derive_piece_size(c.size), c.piece) << c.size;
    // The service's 8 pieces per request with 16384-byte pieces: 131072 bytes.
    EXPECT_EQ(int64_t(8) * dlhttp::derive_piece_size(10 * 1024 * 1024), 131072);
}

TEST(RangeMap, AddMergesAndRefuses) {
    range_map map;
    map.reset(100);
    EXPECT_FALSE(map.add(5, 5));
    EXPECT_FALSE(map.add(-1, 5));
    EXPECT_FALSE(map.add(90, 101));
    EXPECT_TRUE(map.add(10, 20));
    EXPECT_TRUE(map.add(30, 40));
    EXPECT_TRUE(map.add(15, 35));  // bridges both
    EXPECT_EQ(map.count(), 30);
    EXPECT_TRUE(map.covers(10, 40));
    EXPECT_TRUE(map.add(40, 50));  // touching
    EXPECT_TRUE(map.add(0, 100));
    EXPECT_EQ(map.count(), 100);
    EXPECT_TRUE(map.complete());
    map.reset(0);
    EXPECT_TRUE(map.complete());
}

TEST(RangeMap, FirstFreeSpans) {
    range_map map;
    map.reset(100);
    int64_t begin = 0, end = 0;
    ASSERT_TRUE(map.first_free(0, begin, end));
    EXPECT_EQ(begin, 0);
    EXPECT_EQ(end, 100);
    map.add(0, 10);
    map.add(20, 30);
    ASSERT_TRUE(map.first_free(0, begin, end));
    EXPECT_EQ(begin, 10);
    EXPECT_EQ(end, 20);
    ASSERT_TRUE(map.first_free(25, begin, end));
    EXPECT_EQ(begin, 30);
    EXPECT_EQ(end, 100);
    map.add(30, 100);
    map.add(10, 20);
    EXPECT_FALSE(map.first_free(0, begin, end));
}

TEST(RangeMap, Bitfield) {
    range_map map;
    map.reset(100000);
    map.add(0, 32768);  // pieces 0 and 1 of 16384
    EXPECT_EQ(map.to_bitfield(16384), std::string(1, '\xC0'));
    map.add(98304, 100000);  // the short last piece counts when written to the end
    EXPECT_EQ(map.to_bitfield(16384), std::string(1, '\xC2'));
    map.add(40000, 50000);  // no whole piece
    EXPECT_EQ(map.to_bitfield(16384), std::string(1, '\xC2'));

    range_map back;
    back.from_bitfield(std::string(1, '\xC2'), 16384, 7, 100000);
    EXPECT_EQ(back.count(), 32768 + 1696);
    EXPECT_TRUE(back.covers(0, 32768));
    EXPECT_TRUE(back.covers(98304, 100000));
    EXPECT_FALSE(back.covers(32768, 32769));
}

// A given-up connection's span goes back to the pool: removing cuts ranges
// apart and keeps the count.
TEST(RangeMap, RemoveReturnsASpan) {
    struct Case {
        int64_t begin, end;
        int64_t count;
        int64_t freeBegin, freeEnd;  // the first free span afterwards
    } cases[] = {
        {20, 30, 90, 20, 30},                           // out of the middle of [0, 100)
        {0, 10, 90, 0, 10},                             // at the front
        {90, 100, 90, 90, 100}, {50, 50, 100, -1, -1},  // empty: nothing
        {0, 100, 0, 0, 100},
    };
    for (const Case& c : cases) {
        range_map map;
        map.reset(100);
        map.add(0, 100);
        map.remove(c.begin, c.end);
        EXPECT_EQ(map.count(), c.count) << c.begin;
        int64_t begin = -1, end = -1;
        map.first_free(0, begin, end);
        EXPECT_EQ(begin, c.freeBegin) << c.begin;
        EXPECT_EQ(end, c.freeEnd) << c.begin;
    }
    // Across several ranges.
    range_map map;
    map.reset(100);
    map.add(0, 10);
    map.add(20, 30);
    map.add(40, 50);
    map.remove(5, 45);
    EXPECT_EQ(map.count(), 10);
    EXPECT_TRUE(map.covers(0, 5));
    EXPECT_TRUE(map.covers(45, 50));
    EXPECT_EQ(map.last_end(), 50);
}
