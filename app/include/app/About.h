#pragma once
// The About box: a frameless, shadowed, fixed-size dialog with the product's
// logo, name and tagline, the running program's own file version, a short
// company paragraph, links to the maker's support and home pages and the
// copyright line.
#include <QDialog>

#include "toolkit/ZnStyleShadow.h"

class QPaintEvent;

namespace Ui {
class CAbout;
}

class CAbout : public QDialog {
    Q_OBJECT

public:
    explicit CAbout(QWidget* parent = nullptr);
    ~CAbout() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void InitText();
    void InitStyle();

    Ui::CAbout* ui = nullptr;
    ZnStyleShadow m_shadow;
};
