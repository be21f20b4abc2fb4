#pragma once
// Rich-text link label that underlines itself under the mouse: its text
// carries "text-decoration:none", which is switched to "underline" on enter
// and back on leave.
#include <QLabel>

class ZnStyleLink : public QLabel {
    Q_OBJECT
public:
    explicit ZnStyleLink(QWidget* parent = nullptr);

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
};
