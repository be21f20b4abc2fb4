#pragma once
// The two looks of the pages' action buttons, drawn from the "/button/" folder
// of `skinFolder` (given without a trailing "/"): the filled blue button and
// the outlined one, whose blue text turns white under the mouse.
#include <QString>

class QWidget;
class ZnStyleButton;

// The filled 110x34 button: the images "button110_34normal2.png", "...hover",
// "...pressing" and "...disable".
void setFilledButtonImages(ZnStyleButton* button, const QString& skinFolder);
// The outlined button of the images "<size>normal.png", "<size>hover.png" and
// "<size>pressing.png" (`size` as "button100_30"); disabled it shows
// "<size><disabledState>.png", by default the pressed image.
void setOutlineButtonStyle(QWidget* button, const QString& skinFolder, const QString& size,
                           const QString& disabledState = QStringLiteral("pressing"));
