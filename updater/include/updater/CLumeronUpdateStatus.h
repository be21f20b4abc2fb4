#pragma once
// The updater's result dialog: status 1 "Update Failed. ..." with the failure
// mark, status 0 "Update completed!" with the success mark; any other status
// keeps the form's placeholder texts. Frameless, with the toolkit's title bar
// (caption: the parent's "app_name" property) and drop shadow. It does not
// show itself: the caller runs it modally or shows it.
#include <QDialog>

#include "toolkit/ZnStyleShadow.h"

class QLabel;
class ZnStyleButton;
class ZnStyleWidgetTitle;
namespace Ui {
class CLumeronUpdateStatus;
}

class CLumeronUpdateStatus : public QDialog {
    Q_OBJECT
public:
    CLumeronUpdateStatus(int status, QWidget* parent = nullptr);
    ~CLumeronUpdateStatus() override;

public slots:
    void SlotOk();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The skin's fonts, colours and images, and the title bar's caption.
    void styleForm(const QString& productName);
    // Status 1 and 0: their mark and text; any other keeps the placeholders.
    void showStatus(int status);

    Ui::CLumeronUpdateStatus* m_ui = nullptr;  // the form: ui/CLumeronUpdateStatus.ui
    ZnStyleWidgetTitle* m_pTitle = nullptr;
    QLabel* m_pLabelGif = nullptr;
    QLabel* m_pLabelText = nullptr;
    ZnStyleButton* m_pButtonOk = nullptr;
    ZnStyleShadow m_shadow;
};
