#pragma once
// The settings of one download: what the download service fills in for each
// task and the multi-connection download consumes.
#include <cstdint>
#include <string>

#include "dlhttp/option_list.h"
#include "dlhttp/proxy_settings.h"
#include "dlhttp/storage.h"

struct DownloadSettings {
    // Makes the storage that receives the bytes (the caller owns it).
    typedef dlhttp::storage_interface* (*storage_constructor_type)();

    // Most bytes the download may read per one-second tick over all its
    // connections; -1: no limit.
    int32_t rate_limit = -1;
    // Connections to open when the server accepts ranges; -1 means 5.
    int32_t connections_limit = 5;
    // Bytes per piece of the range maps and of the resume bitfield; -1: derived
    // from the file size.
    int32_t piece_size = -1;
    // The stall time-out: seconds without data after which a silent
    // connection is restarted (a connection that failed or was closed is
    // restarted sooner), and the longest pause between two attempts.
    int32_t stall_time_out = 11;
    // Seconds an open (connect, TLS, proxy, request and answer head, the
    // probe's included) may take before it fails.
    int32_t open_time_out = 30;
    // The largest range one request asks for, in pieces.
    int32_t request_piece_num = 10;
    // The resume meta file; empty: the data file path + ".cfg".
    std::wstring meta_file;
    // On resume, take the URL stored in the meta file instead of the given one.
    bool allow_use_meta_url = true;
    // Never use more than the probe connection, even when ranges are accepted.
    bool disable_multi_download = false;
    // The file that receives the bytes.
    std::wstring save_path;
    // HTTPS: verify the server certificate and host name.
    bool check_certificate = true;
    // HTTPS: a file of trusted CA certificates used besides the system's
    // (empty: the system's store alone).
    std::string ca_file;
    // Attempts in a row that one connection may fail (error or stall without
    // data) before it is given up; bounds the time a broken server can hold a
    // download.
    int32_t retry_limit = 5;
    // Makes the storage; null: the default file storage.
    storage_constructor_type storage = nullptr;
    // Extra request header fields added to every request.
    dlhttp::option_list opts;
    // Proxy for every connection.
    dlhttp::ProxySettings proxy;
};
