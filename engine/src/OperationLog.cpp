#include "OperationLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "Script.h"

namespace sorvel {

namespace fs = std::filesystem;

namespace {

std::mutex g_operationLogMutex;

// "2026-12-11 02:13:04.123 +0000": local time with its offset from UTC.
std::string timeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char date[32];
    char zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    std::strftime(zone, sizeof zone, "%z", &local);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s.%03d %s", date, static_cast<int>(millis), zone);
    return stamp;
}

}  // namespace

fs::path operationLogPath(const fs::path& applicationFolder) { return applicationFolder / "Log" / "Sorvel.log"; }

void writeOperationLog(const std::string& line) {
    const fs::path path = operationLogPath(libraryFolder());
    std::error_code ec;
    if (!fs::is_directory(path.parent_path().parent_path(), ec)) return;
    fs::create_directory(path.parent_path(), ec);
    const std::string text = timeStamp() + " " + line + "\n";

    std::lock_guard<std::mutex> lock(g_operationLogMutex);
    if (fs::file_size(path, ec) > kMaxLogBytes && !ec) fs::rename(path, fs::path(path).concat(".1"), ec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    const ssize_t written = ::write(fd, text.data(), text.size());
    static_cast<void>(written);
    ::close(fd);
}

}  // namespace sorvel
