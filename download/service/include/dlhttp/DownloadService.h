#pragma once
// The download service: the one door from the updater into the download
// engine. A caller adds a task (one URL into one target file), starts it (the
// task then runs on a thread of its own) and polls its state and progress.
//
//   uint32_t id = AddDownloadTask(request, 16);
//   StartDownloadTask(id);
//   DownloadTaskStatus status;
//   QueryDownloadTask(id, status);   // as often as wanted, from any thread
//
// While a task runs, the data goes into target + ".tmp" and the resume record
// into target + ".cfg"; a finished task has renamed the ".tmp" file to the
// target and removed the ".cfg" file. No exception and no error code leaves
// these functions: every failure becomes a task state.

#include <cstdint>
#include <string>

// What the caller hands to AddDownloadTask.
struct DownloadTaskRequest {
    std::wstring url;          // the address to fetch
    std::wstring target_path;  // the full path of the file to produce
};

// State of a download task (the values are fixed; only these occur).
enum DownloadTaskState : int32_t {
    DownloadTaskFailed = 1,       // its start or its transfer failed
    DownloadTaskIncomplete = 2,   // every connection stopped before all bytes arrived
    DownloadTaskDownloading = 3,  // the connections run
    DownloadTaskFinished = 4,     // the whole file arrived and stands at the target path
    DownloadTaskCreated = 5,      // created, or started and still probing the server
};

// What QueryDownloadTask fills.
struct DownloadTaskStatus {
    int32_t state = 0;           // a DownloadTaskState value
    int32_t reserved = 0;        // never written by the service
    std::wstring file_name;      // the data file the engine writes (target + ".tmp")
    int64_t file_size = 0;       // total size in bytes; -1 while unknown
    int64_t bytes_done = 0;      // bytes written so far
    float fraction_done = 0.0f;  // bytes_done / file_size
    int32_t rate = 0;            // smoothed download rate in bytes per second
};

// Adds a task for request.url into request.target_path, fetched over up to
// `connections` ranged connections (-1: 5). Returns the task id (never 0). A
// URL that is already known returns the known task's id and changes nothing.
uint32_t AddDownloadTask(const DownloadTaskRequest& request, int32_t connections);

// Starts the task on a thread of its own. False when the id is 0, unknown, or
// the task is already running.
bool StartDownloadTask(uint32_t id);

// Fills `status` with the task's state and progress. False (status untouched)
// when the id is 0 or unknown, or when no task was ever added.
bool QueryDownloadTask(uint32_t id, DownloadTaskStatus& status);
