#include "toolkit/ZnMessageBox.h"

#include <QDesktopServices>
#include <QPixmap>
#include <QUrl>

#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "ui_ZnMessageBox.h"

ZnMessageBox::ZnMessageBox(const QString& text, const QString& title, int buttons, QWidget* parent)
    : ZnStyleDialog(parent),
      m_strTitle(title),
      m_strText(text),
      m_nButtons(buttons),
      m_nResult(0),
      ui(new Ui::ZnMessageBox) {
    ui->setupUi(this);
    initStyle();

    // Only an exactly empty title is replaced; blanks are shown as given.
    if (m_strTitle.isEmpty()) m_strTitle = tr("Note");
    ui->widget->setTitleText(m_strTitle);

    ui->label->setStyleSheet(g_styleCommon.getColorStyleSheet(13));
    ui->label->setOpenExternalLinks(false);
    ui->label->setAlignment(Qt::AlignLeft);
    ui->label->setText(m_strText);
    ui->widget->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));

    ui->label->setFont(g_styleCommon.getFont(15));
    ui->pushButton_yes->setFont(g_styleCommon.getFont(13));
    ui->pushButton_no->setFont(g_styleCommon.getFont(13));
    ui->pushButton_ok->setFont(g_styleCommon.getFont(13));
    ui->pushButton_cancel->setFont(g_styleCommon.getFont(13));
    ui->pushButton_no->setStyleSheet(g_styleCommon.getColorStyleSheet(3));

    connect(ui->pushButton_yes, &QAbstractButton::clicked, this, &ZnMessageBox::slotClose_yes);
    connect(ui->pushButton_no, &QAbstractButton::clicked, this, &ZnMessageBox::slotClose_no);
    connect(ui->pushButton_ok, &QAbstractButton::clicked, this, &ZnMessageBox::slotClose_ok);
    connect(ui->pushButton_cancel, &QAbstractButton::clicked, this, &ZnMessageBox::slotClose_cancel);
    // slotLink is virtual: the connection calls a subclass's override.
    connect(ui->label, &QLabel::linkActivated, this, &ZnMessageBox::slotLink);

    ui->pushButton_yes->hide();
    ui->pushButton_no->hide();
    ui->pushButton_ok->hide();
    ui->pushButton_cancel->hide();
    if (m_nButtons & Yes) ui->pushButton_yes->show();
    if (m_nButtons & No) ui->pushButton_no->show();
    if (m_nButtons & Ok) ui->pushButton_ok->show();
    if (m_nButtons & Cancel) ui->pushButton_cancel->show();
}

ZnMessageBox::~ZnMessageBox() { delete ui; }

void ZnMessageBox::initStyle() {
    setMinimumSize(490, 210);
    setMaximumSize(490, 210);
    ui->widget->setPWidget(this, 5, 5, true);

    const QString skin = QString::fromStdString(GetSkinPath());
    ui->label_icon->setPixmap(QPixmap(skin + QStringLiteral("/Application/tip_mark.png")));

    const QString buttonFolder = skin + QStringLiteral("/button/");
    setOutlineButtonStyle(ui->pushButton_yes, skin, QStringLiteral("button100_30"));
    setPushButtonStyle(ui->pushButton_ok, QStringLiteral("button100_30normal2.png"),
                       QStringLiteral("button100_30hover.png"), QStringLiteral("button100_30pressing.png"),
                       QStringLiteral("button100_30pressing.png"), QStringLiteral("#ffffff"), QStringLiteral("#ffffff"),
                       QStringLiteral("#ffffff"), QStringLiteral("#ffffff"), buttonFolder);
    ui->pushButton_no->setImages(buttonFolder + QStringLiteral("button100_30normal2.png"),
                                 buttonFolder + QStringLiteral("button100_30hover.png"),
                                 buttonFolder + QStringLiteral("button100_30pressing.png"), QString());
    ui->pushButton_cancel->setImages(buttonFolder + QStringLiteral("button100_30normal.png"),
                                     buttonFolder + QStringLiteral("button100_30hover.png"),
                                     buttonFolder + QStringLiteral("button100_30pressing.png"), QString());
}

int ZnMessageBox::getResult() { return m_nResult; }

int ZnMessageBox::exec() {
    m_nResult = 0;
    return ZnStyleDialog::exec();
}

void ZnMessageBox::setIcon(QString relativePath) {
    ui->label_icon->setPixmap(QPixmap(QString::fromStdString(GetSkinPath()) + relativePath));
}

void ZnMessageBox::setBoxSize(int minWidth, int minHeight, int maxWidth, int maxHeight) {
    setMinimumSize(minWidth, minHeight);
    setMaximumSize(maxWidth, maxHeight);
}

void ZnMessageBox::setOuterWidgetSize(int minWidth, int minHeight, int maxWidth, int maxHeight) {
    ui->widget->setMinimumSize(minWidth, minHeight);
    ui->widget->setMaximumSize(maxWidth, maxHeight);
}

void ZnMessageBox::setInnerWidgetSize(int minWidth, int minHeight, int maxWidth, int maxHeight) {
    ui->widget_2->setMinimumSize(minWidth, minHeight);
    ui->widget_2->setMaximumSize(maxWidth, maxHeight);
}

void ZnMessageBox::setButtonText(const int& button, const QString& text) {
    switch (button) {
    case Yes: ui->pushButton_yes->setText(text); break;
    case No: ui->pushButton_no->setText(text); break;
    case Ok: ui->pushButton_ok->setText(text); break;
    case Cancel: ui->pushButton_cancel->setText(text); break;
    default: break;
    }
}

void ZnMessageBox::setButtonTexts(QString yesText, QString noText, QString okText, QString cancelText) {
    ui->pushButton_yes->setText(yesText);
    ui->pushButton_no->setText(noText);
    ui->pushButton_ok->setText(okText);
    ui->pushButton_cancel->setText(cancelText);
}

void ZnMessageBox::setText(const QString& text) {
    m_strText = text;
    ui->label->setText(text);
}

void ZnMessageBox::setOkButtonImages() {
    const QString skin = QString::fromStdString(GetSkinPath());
    ui->pushButton_ok->setFixedSize(105, 21);
    ui->pushButton_ok->setImages(skin + QStringLiteral("/ok_105_21_1.png"), skin + QStringLiteral("/ok_105_21_2.png"),
                                 skin + QStringLiteral("/ok_105_21_3.png"), QString());
}

void ZnMessageBox::slotClose_yes() {
    m_nResult = Yes;
    close();
}

void ZnMessageBox::slotClose_no() {
    m_nResult = No;
    close();
}

void ZnMessageBox::slotClose_ok() {
    m_nResult = Ok;
    close();
}

void ZnMessageBox::slotClose_cancel() {
    m_nResult = Cancel;
    close();
}

void ZnMessageBox::slot_peekPassword() {}

void ZnMessageBox::slotLink(QString link) { QDesktopServices::openUrl(QUrl(link)); }
