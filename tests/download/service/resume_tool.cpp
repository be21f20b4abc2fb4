// Test tool: runs one download through the download service and reports its
// progress on standard output, so that a test can kill it part-way and run it
// again to resume.
//
//   dl_resume_tool URL TARGET [CA_FILE [EXIT_AT]]
//
// Prints "P <bytes done> <file size> <state>" every 10 ms and "E <state>" at the
// end; exits 0 when the task finished (state 4), 10 + state otherwise. With
// EXIT_AT (a fraction), main returns 5 as soon as that much is done, while the
// task's thread is still downloading: the process exits under it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "dlhttp/DownloadService.h"
#include "dlhttp/DownloadTaskManager.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL TARGET [CA_FILE]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const std::string target = argv[2];
    const std::string ca = argc > 3 ? argv[3] : "";
    const double exitAt = argc > 4 ? std::atof(argv[4]) : -1.0;
    DownloadTaskManager::instance()->settings_hook = [ca](DownloadSettings& settings) { settings.ca_file = ca; };

    DownloadTaskRequest request;
    request.url = std::wstring(url.begin(), url.end());
    request.target_path = std::wstring(target.begin(), target.end());
    const uint32_t id = AddDownloadTask(request, 16);
    if (!StartDownloadTask(id)) {
        std::printf("E 0\n");
        return 3;
    }
    for (;;) {
        DownloadTaskStatus status;
        QueryDownloadTask(id, status);
        std::printf("P %lld %lld %d\n", static_cast<long long>(status.bytes_done),
                    static_cast<long long>(status.file_size), status.state);
        std::fflush(stdout);
        if (exitAt >= 0 && status.state == DownloadTaskDownloading && status.file_size > 0 &&
            double(status.bytes_done) >= exitAt * double(status.file_size)) {
            std::printf("X\n");
            return 5;
        }
        if (status.state == DownloadTaskFinished || status.state == DownloadTaskFailed ||
            status.state == DownloadTaskIncomplete) {
            std::printf("E %d\n", status.state);
            std::fflush(stdout);
            return status.state == DownloadTaskFinished ? 0 : 10 + status.state;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
