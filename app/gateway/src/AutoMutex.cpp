#include "AutoMutex.h"

namespace KSB {

bool CAutoMutex::Lock()
{
  m_mutex.lock();
  return true;
}

bool CAutoMutex::Unlock()
{
  m_mutex.unlock();
  return true;
}

CAutoMutexControl::CAutoMutexControl(CAutoMutex* mutex) : m_pMutex(mutex)
{
  if (m_pMutex)
    m_pMutex->Lock();
}

CAutoMutexControl::~CAutoMutexControl()
{
  if (m_pMutex)
    m_pMutex->Unlock();
}

}  // namespace KSB
