#include "app/EngineCallbackScope.h"

#include <algorithm>
#include <deque>

namespace {

// One lock over every context record: engine callbacks hold it while they work
// on a window, the window's destructor takes it to detach itself. Recursive,
// because an engine may call back on the thread that is already inside a
// callback.
std::recursive_mutex& contextLock() {
    static std::recursive_mutex lock;
    return lock;
}

// The records themselves. A deque keeps every record at its address; records
// are never removed, so a late callback always finds readable memory.
std::deque<SEngineContext>& contexts() {
    static std::deque<SEngineContext> records;
    return records;
}

bool isOurs(const void* context) {
    const auto& records = contexts();
    return std::any_of(records.begin(), records.end(),
                       [context](const SEngineContext& record) { return &record == context; });
}

}  // namespace

CEngineCallbackScope::CEngineCallbackScope(void* context) : m_lock(contextLock()) {
    if (context && isOurs(context)) m_pWindow = static_cast<SEngineContext*>(context)->pWindow;
}

CEngineCallbackScope::~CEngineCallbackScope() = default;

SEngineContext* CEngineCallbackScope::Register(FixiTunes* window) {
    std::lock_guard<std::recursive_mutex> guard(contextLock());
    contexts().emplace_back();
    SEngineContext* record = &contexts().back();
    record->pWindow = window;
    return record;
}

void CEngineCallbackScope::Unregister(SEngineContext* context) {
    if (!context) return;
    // Waits for callbacks that are working on the window right now.
    std::lock_guard<std::recursive_mutex> guard(contextLock());
    // Operations still running see their stop flag and end.
    __atomic_store_n(&context->bStopUninstall, true, __ATOMIC_RELEASE);
    __atomic_store_n(&context->bStopScan, true, __ATOMIC_RELEASE);
    __atomic_store_n(&context->bStopClean, true, __ATOMIC_RELEASE);
    context->pWindow = nullptr;
}
