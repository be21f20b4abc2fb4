#include "CLumeronUpdateStatus.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QVariant>

#include "ButtonImageStyle.h"
#include "ZnStyleButton.h"
#include "ZnStyleCommon.h"
#include "ZnStyleWidgetTitle.h"

CLumeronUpdateStatus::CLumeronUpdateStatus(int status, QWidget* parent) : QDialog(parent) {
    setupForm();
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);
    m_pTitle->setPWidget(this, 5, 5, true);

    const QString images = g_styleCommon.getSkinPath() + QStringLiteral("AutoUpDate/");
    m_pButtonOk->setFont(g_styleCommon.getFont(15));
    const QString white = QStringLiteral("#ffffff");
    setButtonImageStyle(m_pButtonOk, QStringLiteral("button_normal.svg"), QStringLiteral("button_hover.svg"),
                        QStringLiteral("button_pressing.svg"), QStringLiteral("button_disable.svg"), white, white,
                        white, white, images);
    m_pLabelText->setFont(g_styleCommon.getFont(15));
    m_pLabelText->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    m_pLabelText->setWordWrap(true);
    m_pTitle->setTitleText(parent ? parent->property("app_name").toString() : QString());
    m_pTitle->setBackgroundImage(images + QStringLiteral("update_title.svg"));

    connect(m_pButtonOk, SIGNAL(clicked()), this, SLOT(SlotOk()));

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

void CLumeronUpdateStatus::setupForm() {
    setObjectName(QStringLiteral("CLumeronUpdateStatus"));
    resize(490, 210);
    setMaximumSize(490, 210);
    setWindowTitle(QString());
    setStatusTip(QString());

    auto* column = new QVBoxLayout(this);
    column->setObjectName(QStringLiteral("verticalLayout_2"));
    column->setSpacing(5);
    column->setContentsMargins(5, 5, 5, 5);

    m_pTitle = new ZnStyleWidgetTitle(this);
    m_pTitle->setObjectName(QStringLiteral("widget"));
    m_pTitle->setFixedSize(480, 35);
    column->addWidget(m_pTitle);

    auto* body = new QWidget(this);
    body->setObjectName(QStringLiteral("widget_2"));
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setObjectName(QStringLiteral("verticalLayout"));
    bodyColumn->setSpacing(0);
    bodyColumn->setContentsMargins(0, 0, 0, 0);

    auto* messageRow = new QHBoxLayout();
    messageRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    messageRow->setSpacing(17);
    messageRow->setContentsMargins(40, 30, 40, 43);
    m_pLabelGif = new QLabel(QStringLiteral("gif"), body);
    m_pLabelGif->setObjectName(QStringLiteral("labelGif"));
    m_pLabelGif->setFixedSize(38, 38);
    m_pLabelText = new QLabel(QStringLiteral("TextLabel"), body);
    m_pLabelText->setObjectName(QStringLiteral("labelText"));
    m_pLabelText->setFixedWidth(335);
    messageRow->addWidget(m_pLabelGif);
    messageRow->addWidget(m_pLabelText);
    bodyColumn->addLayout(messageRow);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->setSpacing(6);
    int left = 0, top = 0, right = 0, bottom = 0;
    buttonRow->getContentsMargins(&left, &top, &right, &bottom);
    buttonRow->setContentsMargins(left, top, 40, 20);
    buttonRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_pButtonOk = new ZnStyleButton(body);
    m_pButtonOk->setObjectName(QStringLiteral("pushButtonOk"));
    m_pButtonOk->setFixedSize(120, 32);
    m_pButtonOk->setText(tr("OK"));
    buttonRow->addWidget(m_pButtonOk);
    bodyColumn->addLayout(buttonRow);

    column->addWidget(body);
}

void CLumeronUpdateStatus::SlotOk() { close(); }

void CLumeronUpdateStatus::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QDialog::paintEvent(event);
}
