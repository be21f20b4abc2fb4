#pragma once
// KSB::CAutoMutex: a lock of this process only, one per object, and
// KSB::CAutoMutexControl, which holds such a lock for the length of a scope.
//
// The lock behaves like the Windows mutex the product was written for: the thread
// that holds it may take it again (it is then given back as often as it was
// taken), and only the holding thread can give it back. Windows names each such
// mutex after the object's address; a name has no meaning for a lock of one
// process, so there is none here.
#include <pthread.h>

namespace KSB {

class CAutoMutex {
public:
    // Results of Lock(), as the wait of the Windows mutex reports them.
    static constexpr unsigned long kWaitObject0 = 0;          // taken
    static constexpr unsigned long kWaitFailed = 0xFFFFFFFF;  // no lock could be made

    CAutoMutex();
    virtual ~CAutoMutex();
    CAutoMutex(const CAutoMutex&) = delete;
    CAutoMutex& operator=(const CAutoMutex&) = delete;

    // Waits as long as it takes until the lock is free and takes it:
    // kWaitObject0, or kWaitFailed when the lock could not be made.
    virtual unsigned long Lock();
    // Gives the lock back once: non-zero when given back, 0 when the calling
    // thread does not hold it.
    virtual int Unlock();

private:
    pthread_mutex_t m_mutex;
    bool m_bValid = false;
};

class CAutoMutexControl {
public:
    // Takes the lock of `mutex` (null: nothing is locked) ...
    explicit CAutoMutexControl(CAutoMutex* mutex);
    // ... and gives it back.
    virtual ~CAutoMutexControl();
    CAutoMutexControl(const CAutoMutexControl&) = delete;
    CAutoMutexControl& operator=(const CAutoMutexControl&) = delete;

private:
    CAutoMutex* m_pMutex;
};

}  // namespace KSB
