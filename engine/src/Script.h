#pragma once
// The engine's settings from its environment, its call log and its script
// mode (format in engine/README.md).
//
//   SORVEL_ROOT      the tree to work on (default: "SorvelDemo" beside the library)
//   SORVEL_SCRIPT    a JSON file that scripts operations (optional)
//   SORVEL_CALL_LOG  a file to which every call is appended, one line each (optional)
#include <QJsonObject>
#include <QJsonValue>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sorvel {

std::filesystem::path rootFromEnvironment();

// The folder of this library: the application folder it was loaded from.
std::filesystem::path libraryFolder();

// Appends one line to the call log when SORVEL_CALL_LOG is set.
void writeCallLog(const std::string& line);

// Argument texts of the call log.
std::string logText(const std::wstring& text);      // "..." with \ " and control escaped
std::string logPointer(const void* pointer);        // 0x... or null
std::string logBool(bool value);                    // true / false
std::string logList(const std::vector<int>* list);  // [1,2,3] or null

// Reads a stop flag the caller may change at any time.
inline bool stopRequested(const bool* stop) { return stop && __atomic_load_n(stop, __ATOMIC_ACQUIRE); }

// One callback of a scripted operation.
struct ScriptStep {
    int state = 0;
    int delayMs = 0;        // waited before the callback (cut short by a stop)
    bool waitStop = false;  // wait for the stop flag before the callback
    int waitStopTimeoutMs = 30000;
    bool nullRecord = false;  // "record": null hands the callback no record
    QJsonObject record;
};

// The script's entry for one call of an operation.
struct ScriptedCall {
    bool scripted = false;  // false: the operation works on the tree
    QJsonValue result;      // the returned value (long operations: a bool, default true)
    std::vector<ScriptStep> steps;
};

// Counts the calls of each operation of one manager, so that a script can give
// a list of entries, one per call (the last one repeats).
class CallCounter {
public:
    int next(const std::string& operation);

private:
    std::mutex m_mutex;
    std::map<std::string, int> m_counts;
};

// The entry of `operation` for its `callIndex`-th call (0-based), read from the
// file SORVEL_SCRIPT names; not scripted when the variable is unset, the file
// cannot be read, or it has no entry for the operation.
ScriptedCall findScriptedCall(const std::string& operation, int callIndex);

// Record fields from a script step.
std::wstring jsonWide(const QJsonObject& record, const char* key);
std::vector<std::wstring> jsonWideList(const QJsonObject& record, const char* key);
int jsonInt(const QJsonObject& record, const char* key, int fallback = 0);
std::int64_t jsonInt64(const QJsonObject& record, const char* key);

}  // namespace sorvel
