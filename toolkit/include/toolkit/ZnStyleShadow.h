#pragma once
// Painter of the white body and soft blue outline every frameless window shows.
class QWidget;

class ZnStyleShadow {
public:
    ZnStyleShadow();
    ~ZnStyleShadow();

    // Paints a white body inset 5 px into `widget` and five 1-px outlines
    // around it, strongest inside. Call it first in the widget's paintEvent;
    // the widget must have a translucent background for the outline to show.
    static void drawShadow(QWidget* widget);
};
