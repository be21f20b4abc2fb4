#pragma once
// The updater's image buttons: a push-button style sheet of four state images
// (in `imageFolder`) and four text colours. Replaces the button's whole sheet.
#include <QString>

class QWidget;

void setButtonImageStyle(QWidget* button, const QString& normalImage, const QString& hoverImage,
                         const QString& pressedImage, const QString& disabledImage, const QString& normalColor,
                         const QString& hoverColor, const QString& pressedColor, const QString& disabledColor,
                         const QString& imageFolder);
