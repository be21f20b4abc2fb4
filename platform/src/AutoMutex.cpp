#include "platform/AutoMutex.h"

namespace KSB {

CAutoMutex::CAutoMutex() {
    // Recursive: the holding thread may take the lock again, and only the holder
    // can give it back (a recursive pthread mutex reports EPERM to any other).
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) return;
    if (pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0)
        m_bValid = pthread_mutex_init(&m_mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
}

CAutoMutex::~CAutoMutex() {
    if (m_bValid) pthread_mutex_destroy(&m_mutex);
    m_bValid = false;
}

unsigned long CAutoMutex::Lock() {
    if (!m_bValid) return kWaitFailed;
    return pthread_mutex_lock(&m_mutex) == 0 ? kWaitObject0 : kWaitFailed;
}

int CAutoMutex::Unlock() {
    if (!m_bValid) return 0;
    return pthread_mutex_unlock(&m_mutex) == 0 ? 1 : 0;
}

CAutoMutexControl::CAutoMutexControl(CAutoMutex* mutex) : m_pMutex(mutex) {
    if (m_pMutex) m_pMutex->Lock();
}

CAutoMutexControl::~CAutoMutexControl() {
    if (m_pMutex) m_pMutex->Unlock();
}

}  // namespace KSB
