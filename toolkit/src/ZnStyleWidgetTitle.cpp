#include "toolkit/ZnStyleWidgetTitle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QSpacerItem>

#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"

// The logo resource lives in this static library; register it before use.
static void initToolkitResources() { Q_INIT_RESOURCE(ZnToolkit); }

ZnStyleWidgetTitle::ZnStyleWidgetTitle(QWidget* parent) : ZnStyleWidget(parent) {
    initToolkitResources();

    m_pLogo = new QLabel(this);
    m_pLogo->setFixedSize(21, 21);
    m_pLogo->setScaledContents(true);
    m_pLogo->setAttribute(Qt::WA_TranslucentBackground);

    m_pCaption = new QLabel(this);
    m_pCaption->setText(QStringLiteral("Brelion Corvane"));
    m_pCaption->setAttribute(Qt::WA_TranslucentBackground);

    m_pSpacer = new QSpacerItem(217, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);

    m_pCloseButton = new ZnStyleButton(this);
    m_pCloseButton->setFixedSize(14, 12);
    m_pCloseButton->setFlat(true);

    m_pLayout = new QHBoxLayout(this);
    m_pLayout->setObjectName(QStringLiteral("horizontalLayout"));
    m_pLayout->setSpacing(6);
    m_pLayout->setContentsMargins(15, 0, 15, 0);
    m_pLayout->addWidget(m_pLogo);
    m_pLayout->addWidget(m_pCaption);
    m_pLayout->addItem(m_pSpacer);
    m_pLayout->addWidget(m_pCloseButton);

    initStyle();

    connect(m_pCloseButton, &QAbstractButton::clicked, this, &ZnStyleWidgetTitle::slotClosePWidget);

    // The logo stays hidden unless an owner shows it.
    m_pLogo->hide();
}

void ZnStyleWidgetTitle::initStyle() {
    const QString skin = QString::fromStdString(GetSkinPath());
    m_strTitleImage = skin + QStringLiteral("/Application/titleMenuBar35.png");
    setBackgroundImage(m_strTitleImage);

    m_pCloseButton->setFixedSize(18, 18);

    m_strLogoPath = QStringLiteral(":/ZnRSC/logo.png");
    m_pLogo->setPixmap(QPixmap(m_strLogoPath));

    if (ZnStyleCommon::toolkitVariant() == ZnToolkitVariant::Updater) {
        m_pCaption->setObjectName(QStringLiteral("labelCaptionText"));
        m_pCloseButton->setFixedSize(12, 12);
        const QString images = g_styleCommon.getSkinPath() + QStringLiteral("AutoUpDate/");
        m_pCloseButton->setImages(
            images + QStringLiteral("win_close_normal.svg"), images + QStringLiteral("win_close_hover.svg"),
            images + QStringLiteral("win_close_pressing.svg"), images + QStringLiteral("win_close_normal.svg"));
    } else {
        m_pCloseButton->setImages(skin + QStringLiteral("/Application/mainWindow_close_normal.png"),
                                  skin + QStringLiteral("/Application/mainWindow_close_hover.png"),
                                  skin + QStringLiteral("/Application/mainWindow_close_normal.png"), QString());
    }

    m_pCaption->setFont(g_styleCommon.getFont(15));
    m_pCaption->setStyleSheet(QStringLiteral("color: rgb(72, 72, 72); "));
}

void ZnStyleWidgetTitle::setTitleText(const QString& text) { m_pCaption->setText(text); }

void ZnStyleWidgetTitle::hideCloseButton() { m_pCloseButton->hide(); }
