#include "CleanSkin.h"

#include "ZnStyleCommon.h"

namespace clean {

QString skinFolder() {
    QString folder = g_styleCommon.getSkinPath();
    while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

QString checkBoxStyleSheet(const QString& skinFolder) {
    struct Rule {
        const char* rule;
        const char* image;
    };
    static const Rule kRules[] = {
        {"QCheckBox::indicator:unchecked { image: url(%1);}", "/checkbox/unchecked.png"},
        {"QCheckBox::indicator:unchecked:hover {image: url(%1);}", "/checkbox/uncheckedHover.png"},
        {"QCheckBox::indicator:checked {image: url(%1);}", "/checkbox/checked.png"},
        {"QCheckBox::indicator:checked:hover {image: url(%1);}", "/checkbox/checkedHover.png"},
        {"QCheckBox::indicator:indeterminate {image: url(%1);}", "/checkbox/partiallyChecked.png"},
        {"QCheckBox::indicator:indeterminate:hover {image: url(%1);}", "/checkbox/partiallyCheckedHover.png"},
        {"QCheckBox::indicator:unchecked:disabled {image: url(%1);}", "/checkbox/disable.png"},
    };
    QString sheet;
    for (const Rule& r : kRules) sheet += QString::fromLatin1(r.rule).arg(skinFolder + QLatin1String(r.image));
    return sheet;
}

}  // namespace clean
