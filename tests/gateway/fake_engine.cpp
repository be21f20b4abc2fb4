// Broken engine libraries for the gateway's load checks: built several times,
// each lacking something the program needs.
#include "SorvelInterface.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(FAKE_NULL_MANAGERS)
FAKE_EXPORT IFixItunesMgr* CreateFixItuensMgr() { return nullptr; }
FAKE_EXPORT IItunesUserDataMgr* CreateItunesUserDataMgr() { return nullptr; }
#elif defined(FAKE_NO_FIX_FACTORY)
// Spelled as a careful reader might "correct" it: not what the program resolves.
FAKE_EXPORT IFixItunesMgr* CreateFixItunesMgr() { return nullptr; }
FAKE_EXPORT IItunesUserDataMgr* CreateItunesUserDataMgr() { return nullptr; }
#elif defined(FAKE_NO_USERDATA_FACTORY)
FAKE_EXPORT IFixItunesMgr* CreateFixItuensMgr() { return nullptr; }
#endif
