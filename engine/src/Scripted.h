#pragma once
// Plays the callbacks of a scripted operation.
#include <chrono>
#include <thread>

#include "Script.h"
#include "SorvelInterface.h"

namespace sorvel {

// Waits `ms` milliseconds or until a stop is requested; true when stopped.
inline bool waitOrStop(int ms, const bool* stop)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (stopRequested(stop))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return stopRequested(stop);
}

// Sends the steps' callbacks in order, each with a record of type `Record`
// filled by `fill(record, fields)`. A stop request skips to the last step, so
// the final state is always sent.
template <typename Record, typename Fill>
void playScript(const std::vector<ScriptStep>& steps, ItunesEngineCallback callback,
                void* context, const bool* stop, Fill fill)
{
  if (steps.empty() || !callback)
    return;
  const std::size_t last = steps.size() - 1;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i < last && stopRequested(stop))
      i = last;
    const ScriptStep& step = steps[i];
    if (step.delayMs > 0 && waitOrStop(step.delayMs, stop) && i < last) {
      i = last - 1;  // the loop's step moves on to the final state
      continue;
    }
    if (step.waitStop)
      waitOrStop(step.waitStopTimeoutMs, stop);
    Record record;
    fill(record, step.record);
    callback(context, step.state, step.nullRecord ? nullptr : &record);
  }
}

}  // namespace sorvel
