#include "toolkit/ZnSkinPath.h"

#include "platform/Programs.h"

std::string GetSkinPath() { return (platform::applicationDir() + QStringLiteral("/skin")).toStdString(); }
