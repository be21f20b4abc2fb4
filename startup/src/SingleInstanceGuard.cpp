#include "startup/SingleInstanceGuard.h"

#include "platform/InstanceLock.h"

bool CSingleInstanceGuard::Acquire(const QString& name) {
    return platform::acquireInstanceLock(name, &m_hMutex) != platform::InstanceLockResult::AlreadyExists;
}

bool CSingleInstanceGuard::Release() {
    m_hMutex = -1;
    return true;
}
