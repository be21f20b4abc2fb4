#include "updater/CLumeronUpdateStatus.h"

#include <QLabel>
#include <QPixmap>

#include "updater/ButtonImageStyle.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleWidgetTitle.h"
#include "ui_CLumeronUpdateStatus.h"

CLumeronUpdateStatus::CLumeronUpdateStatus(int status, QWidget* parent)
    : QDialog(parent),
      m_ui(new Ui::CLumeronUpdateStatus) {
    m_ui->setupUi(this);
    m_pTitle = m_ui->widget;
    m_pLabelGif = m_ui->labelGif;
    m_pLabelText = m_ui->labelText;
    m_pButtonOk = m_ui->pushButtonOk;
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);
    m_pTitle->setPWidget(this, 5, 5, true);
    styleForm(parent ? parent->property("app_name").toString() : QString());
    connect(m_pButtonOk, &QPushButton::clicked, this, &CLumeronUpdateStatus::SlotOk);
    showStatus(status);
}

void CLumeronUpdateStatus::styleForm(const QString& productName) {
    const QString images = g_styleCommon.getSkinPath() + QStringLiteral("AutoUpDate/");
    m_pButtonOk->setFont(g_styleCommon.getFont(15));
    const QString white = QStringLiteral("#ffffff");
    setButtonImageStyle(m_pButtonOk, QStringLiteral("button_normal.svg"), QStringLiteral("button_hover.svg"),
                        QStringLiteral("button_pressing.svg"), QStringLiteral("button_disable.svg"), white, white,
                        white, white, images);
    m_pLabelText->setFont(g_styleCommon.getFont(15));
    m_pLabelText->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    m_pLabelText->setWordWrap(true);
    m_pTitle->setTitleText(productName);
    m_pTitle->setBackgroundImage(images + QStringLiteral("update_title.svg"));
}

void CLumeronUpdateStatus::showStatus(int status) {
    const QString skin = g_styleCommon.getSkinPath();
    if (status == 1) {
        m_pLabelGif->setPixmap(QPixmap(skin + QStringLiteral("/AutoUpDate/tip_fail.svg"))
                                   .scaled(m_pLabelGif->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_pLabelText->setText(
            tr("Update Failed. Please make sure you are connected to a stable network and try again."));
    } else if (status == 0) {
        m_pLabelGif->setPixmap(QPixmap(skin + QStringLiteral("/AutoUpDate/tip_succeed.svg"))
                                   .scaled(m_pLabelGif->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_pLabelText->setText(tr("Update completed!"));
        m_pButtonOk->setVisible(true);
    }
}

CLumeronUpdateStatus::~CLumeronUpdateStatus() { delete m_ui; }

void CLumeronUpdateStatus::SlotOk() { close(); }

void CLumeronUpdateStatus::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QDialog::paintEvent(event);
}
