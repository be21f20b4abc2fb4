#pragma once
// The engine's operation log, as an outside engine keeps one: "Sorvel.log" in
// the "Log" folder of the application folder (the folder of this library),
// where the feedback dialog finds the logs it attaches. One line per
// operation, with the local time:
//
//   2026-12-11 02:13:04.123 +0000 CheckiTunes started
//   2026-12-11 02:13:04.131 +0000 GetiTunesVersion -> "12.10.11.2"
//
// Lines are appended, each with one write (several processes may share the
// file). The "Log" folder is made when it is missing, but never the
// application folder itself. A log that has grown past kMaxLogBytes is moved
// to "Sorvel.log.1" (which the dialog does not attach) and begun afresh.
// Failures to write are ignored: the log never stops an operation.
#include <cstdint>
#include <filesystem>
#include <string>

namespace sorvel {

constexpr std::uintmax_t kMaxLogBytes = 1024 * 1024;

// The log file of the engine in `applicationFolder`.
std::filesystem::path operationLogPath(const std::filesystem::path& applicationFolder);

// Appends `line` with the time to the log beside this library.
void writeOperationLog(const std::string& line);

}  // namespace sorvel
