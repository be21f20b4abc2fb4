#pragma once
// Frameless, translucent dialog that paints the drop shadow behind its content.
#include <QDialog>

#include "ZnStyleShadow.h"

class ZnStyleDialog : public QDialog {
    Q_OBJECT
public:
    explicit ZnStyleDialog(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ZnStyleShadow m_shadow;
};
