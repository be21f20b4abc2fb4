#include "updater/ButtonImageStyle.h"

#include <QWidget>

void setButtonImageStyle(QWidget* button, const QString& normalImage, const QString& hoverImage,
                         const QString& pressedImage, const QString& disabledImage, const QString& normalColor,
                         const QString& hoverColor, const QString& pressedColor, const QString& disabledColor,
                         const QString& imageFolder) {
    const QString hover = QStringLiteral("QPushButton::hover{ color: %1; border: none; image: url(%2); }")
                              .arg(hoverColor, imageFolder + hoverImage);
    const QString pressed = QStringLiteral("QPushButton::pressed{ color: %1; border:none; image: url(%2);}")
                                .arg(pressedColor, imageFolder + pressedImage);
    const QString disabled = QStringLiteral("QPushButton::!enabled{ color: %1; border:none; image: url(%2);}")
                                 .arg(disabledColor, imageFolder + disabledImage);
    const QString normal = QStringLiteral("QPushButton{ color: %1; border:none; image: url(%2);}")
                               .arg(normalColor, imageFolder + normalImage);
    button->setStyleSheet(hover + pressed + disabled + normal);
}
