#pragma once
// The updater's result dialog: status 1 "Update Failed. ..." with the failure
// mark, status 0 "Update completed!" with the success mark; any other status
// keeps the form's placeholder texts. Frameless, with the toolkit's title bar
// (caption: the parent's "app_name" property) and drop shadow. It does not
// show itself: the caller runs it modally or shows it.
#include <QDialog>

#include "ZnStyleShadow.h"

class QLabel;
class ZnStyleButton;
class ZnStyleWidgetTitle;

class CLumeronUpdateStatus : public QDialog {
    Q_OBJECT
public:
    CLumeronUpdateStatus(int status, QWidget* parent = nullptr);

public slots:
    void SlotOk();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setupForm();

    ZnStyleWidgetTitle* m_pTitle = nullptr;
    QLabel* m_pLabelGif = nullptr;
    QLabel* m_pLabelText = nullptr;
    ZnStyleButton* m_pButtonOk = nullptr;
    ZnStyleShadow m_shadow;
};
