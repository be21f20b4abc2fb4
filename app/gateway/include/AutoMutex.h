#pragma once
// KSB::CAutoMutex: a lock of this process only (each object its own mutex), and
// KSB::CAutoMutexControl, which holds such a lock for the length of a scope.
#include <mutex>

namespace KSB {

class CAutoMutex {
public:
  CAutoMutex() = default;
  virtual ~CAutoMutex() = default;
  CAutoMutex(const CAutoMutex&) = delete;
  CAutoMutex& operator=(const CAutoMutex&) = delete;

  // Waits until the lock is free and takes it; true when taken.
  virtual bool Lock();
  // Gives the lock back; true when it was given back.
  virtual bool Unlock();

private:
  std::mutex m_mutex;
};

class CAutoMutexControl {
public:
  // Takes the lock of `mutex` (may be null: then nothing is locked).
  explicit CAutoMutexControl(CAutoMutex* mutex);
  // Gives it back.
  virtual ~CAutoMutexControl();
  CAutoMutexControl(const CAutoMutexControl&) = delete;
  CAutoMutexControl& operator=(const CAutoMutexControl&) = delete;

private:
  CAutoMutex* m_pMutex;
};

}  // namespace KSB
