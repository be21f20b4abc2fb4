// The engine library's two exported factories. Each call makes a manager of
// its own; managers are never released (their callers keep them for the
// process).
#include "Managers.h"

#define SORVEL_EXPORT __attribute__((visibility("default")))

extern "C" SORVEL_EXPORT IFixItunesMgr* CreateFixItuensMgr() {
    sorvel::writeCallLog("CreateFixItuensMgr");
    return new sorvel::FixItunesMgr();
}

extern "C" SORVEL_EXPORT IItunesUserDataMgr* CreateItunesUserDataMgr() {
    sorvel::writeCallLog("CreateItunesUserDataMgr");
    return new sorvel::ItunesUserDataMgr();
}
