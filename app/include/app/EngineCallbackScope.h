#pragma once
// Safe delivery of engine callbacks to the main window.
//
// The repair engine calls back from its own threads, and may still do so after
// the main window is gone (an operation that was running when the program
// closed ends with one more callback). So the engine is never handed the
// window's address itself: it gets the window's engine context, a small record
// that is never freed and that holds the window pointer and the stop flags
// whose addresses the engine reads.
//
// An engine callback opens a CEngineCallbackScope over its context and works on
// the window only through Window(), which is null once the window has begun to
// be destroyed. While a scope that found the window is open, the window's
// destructor waits for it; the destructor first sets every stop flag, so a
// running operation winds down.
//
//   void ScanCallback(void* context, int state, void* result) {
//     CEngineCallbackScope scope(context);
//     if (FixiTunes* window = scope.Window()) window->HandleScan(state, result);
//   }
#include <mutex>

class FixiTunes;

// The record behind a window's engine context. Lives for the process.
struct SEngineContext {
    FixiTunes* pWindow = nullptr;  // null once the window is being destroyed
    bool bStopUninstall = false;   // read by OneKeyUninstall
    bool bStopScan = false;        // read by ScaniTunesUserData
    bool bStopClean = false;       // read by CleaniTuensUserData
};

// The stop flags are written by the GUI thread and read by the engine's
// threads (and by the end callbacks): every access goes through these.
inline void StoreEngineFlag(bool& flag, bool value) { __atomic_store_n(&flag, value, __ATOMIC_RELEASE); }
inline bool LoadEngineFlag(const bool& flag) { return __atomic_load_n(&flag, __ATOMIC_ACQUIRE); }

class CEngineCallbackScope {
public:
    // `context` is what the window handed to the engine (FixiTunes::EngineContext).
    explicit CEngineCallbackScope(void* context);
    ~CEngineCallbackScope();
    CEngineCallbackScope(const CEngineCallbackScope&) = delete;
    CEngineCallbackScope& operator=(const CEngineCallbackScope&) = delete;

    // The window the context belongs to; null when it is gone or the context is
    // not one of ours.
    FixiTunes* Window() const { return m_pWindow; }

    // For the main window: a new context record for `window`, and the end of it.
    static SEngineContext* Register(FixiTunes* window);
    static void Unregister(SEngineContext* context);

private:
    std::unique_lock<std::recursive_mutex> m_lock;
    FixiTunes* m_pWindow = nullptr;
};
