#pragma once
// The program's message box: a frameless, shadowed, fixed-size modal dialog
// with the toolkit's title bar, an icon, a word-wrapped message and up to four
// buttons chosen by a ZnMessageBoxButton mask.
//
//   ZnMessageBox box(tr("Are you sure?"), QString(), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
//   box.exec();
//   if (box.getResult() == ZnMessageBoxButton::Yes) ...
#include <QString>

#include "ZnStyleDialog.h"

// Flags of the buttons to show and of the button that closed the box; a
// result of 0 means the box was closed otherwise (Escape, title-bar close).
enum ZnMessageBoxButton {
    Yes = 0x1,
    No = 0x2,
    Ok = 0x4,
    Cancel = 0x8,
};

namespace Ui {
class ZnMessageBox;
}

class ZnMessageBox : public ZnStyleDialog {
    Q_OBJECT
public:
    // Note the order: the message first, then the title. An empty title
    // becomes "Note".
    ZnMessageBox(const QString& text, const QString& title, int buttons, QWidget* parent = nullptr);
    ~ZnMessageBox() override;

    // The flag of the button that closed the box, 0 otherwise.
    int getResult();
    // Runs the box modally. Each run starts without an answer, so a box that is
    // kept and shown again never reports the button of an earlier run.
    int exec() override;

    // Shows GetSkinPath() + relativePath (e.g. "/Application/tip_fail.png").
    void setIcon(QString relativePath);
    // Minimum and maximum size of the box, the title bar ("widget") and the
    // white panel ("widget_2"), for messages that need more room.
    void setBoxSize(int minWidth, int minHeight, int maxWidth, int maxHeight);
    void setOuterWidgetSize(int minWidth, int minHeight, int maxWidth, int maxHeight);
    void setInnerWidgetSize(int minWidth, int minHeight, int maxWidth, int maxHeight);
    // Text of the button with flag `button` (1, 2, 4 or 8; others: no change).
    void setButtonText(const int& button, const QString& text);
    void setButtonTexts(QString yesText, QString noText, QString okText, QString cancelText);
    // Replaces the shown message.
    void setText(const QString& text);
    // Makes the OK button a 105 x 21 image button.
    void setOkButtonImages();

public slots:
    void slotClose_yes();
    void slotClose_no();
    void slotClose_ok();
    void slotClose_cancel();
    void slot_peekPassword();
    // Opens a link of a rich-text message; the box stays open.
    virtual void slotLink(QString link);

private:
    void initStyle();

    QString m_strTitle;
    QString m_strText;
    int m_nButtons = 0;
    int m_nResult = 0;
    Ui::ZnMessageBox* ui = nullptr;
};
