#include "CleanSkin.h"

#include "toolkit/ZnStyleCommon.h"

namespace clean {

QString skinFolder() {
    QString folder = g_styleCommon.getSkinPath();
    while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

}  // namespace clean
