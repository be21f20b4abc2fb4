#include "toolkit/ZnSkinButtons.h"

#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleSheet.h"

void setFilledButtonImages(ZnStyleButton* button, const QString& skinFolder) {
    button->setImages(skinFolder + QStringLiteral("/button/button110_34normal2.png"),
                      skinFolder + QStringLiteral("/button/button110_34hover.png"),
                      skinFolder + QStringLiteral("/button/button110_34pressing.png"),
                      skinFolder + QStringLiteral("/button/button110_34disable.png"));
}

void setOutlineButtonStyle(QWidget* button, const QString& skinFolder, const QString& size,
                           const QString& disabledState) {
    const QString png = QStringLiteral(".png");
    setPushButtonStyle(button, size + QStringLiteral("normal") + png, size + QStringLiteral("hover") + png,
                       size + QStringLiteral("pressing") + png, size + disabledState + png, QStringLiteral("#377dff"),
                       QStringLiteral("#ffffff"), QStringLiteral("#ffffff"), QStringLiteral("#ffffff"),
                       skinFolder + QStringLiteral("/button/"));
}
