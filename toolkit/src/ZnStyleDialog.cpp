#include "toolkit/ZnStyleDialog.h"

ZnStyleDialog::ZnStyleDialog(QWidget* parent) : QDialog(parent, Qt::WindowFlags()) {
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground, true);
}

void ZnStyleDialog::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QDialog::paintEvent(event);
}
