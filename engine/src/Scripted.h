#pragma once
// Plays the callbacks of a scripted operation, and starts the managers' long
// operations either from the script or on the tree.
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "OperationLog.h"
#include "Script.h"
#include "SorvelInterface.h"
#include "Worker.h"

namespace sorvel {

// Waits `ms` milliseconds or until a stop is requested; true when stopped.
inline bool waitOrStop(int ms, const bool* stop) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopRequested(stop)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return stopRequested(stop);
}

// Where a stopped run goes on from step `i`: the first step from there on that
// waits for the stop (it is sent however early the stop came), else the last.
inline std::size_t stepAfterStop(const std::vector<ScriptStep>& steps, std::size_t i) {
    for (; i + 1 < steps.size(); ++i)
        if (steps[i].waitStop) return i;
    return steps.size() - 1;
}

// Sends the steps' callbacks in order, each with a record of type `Record`
// filled by `fill(record, fields)`. A stop request skips to the next step that
// waits for the stop, else to the last step, so the final state is always sent.
template <typename Record, typename Fill>
void playScript(const std::vector<ScriptStep>& steps, ItunesEngineCallback callback, void* context, const bool* stop,
                Fill fill) {
    if (steps.empty() || !callback) return;
    const std::size_t last = steps.size() - 1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i < last && !steps[i].waitStop && stopRequested(stop)) i = stepAfterStop(steps, i);
        const ScriptStep& step = steps[i];
        if (step.delayMs > 0 && waitOrStop(step.delayMs, stop) && i < last) {
            i = stepAfterStop(steps, i + 1) - 1;  // the loop's step moves on to it
            continue;
        }
        if (step.waitStop) waitOrStop(step.waitStopTimeoutMs, stop);
        Record record;
        fill(record, step.record);
        callback(context, step.state, step.nullRecord ? nullptr : &record);
    }
}

// Whether a scripted operation starts: its "result", true when not given.
inline bool scriptedStart(const ScriptedCall& call) {
    return call.result.isUndefined() || call.result.isNull() || call.result.toBool();
}

// "callback=0x... context=0x...": the arguments every long operation logs.
inline std::string logCallbackArgs(ItunesEngineCallback callback, const void* context) {
    return "callback=" + logPointer(reinterpret_cast<void*>(callback)) + " context=" + logPointer(context);
}

// Starts one long operation of a manager: the script's run when the script
// names the operation (records of type `Record` filled by `fill`), otherwise
// `treeJob`, the work on the tree, which `treeCanStart` allows. Writes the
// operation's one call-log line (`name`, `arguments`, the result) and its
// operation-log line (started or refused), then hands
// the work to the manager's worker thread, from which every callback comes.
template <typename Record, typename Fill>
bool startOperation(Worker& worker, CallCounter& calls, const std::string& name, const std::string& arguments,
                    ItunesEngineCallback callback, void* context, const bool* stop, bool treeCanStart, Fill fill,
                    std::function<void()> treeJob) {
    const ScriptedCall call = findScriptedCall(name, calls.next(name));
    const bool started = callback && (call.scripted ? scriptedStart(call) : treeCanStart);
    writeCallLog(name + " " + arguments + " -> " + logBool(started));
    writeOperationLog(name + (started ? " started" : " refused"));
    if (!started) return false;
    if (call.scripted) {
        worker.post(
            [call, callback, context, stop, fill] { playScript<Record>(call.steps, callback, context, stop, fill); });
    } else {
        worker.post(std::move(treeJob));
    }
    return true;
}

}  // namespace sorvel
