#include "clean/CleaniTunesUserDataFinished.h"

#include <QDesktopServices>
#include <QMovie>
#include <QPixmap>
#include <QUrl>

#include "CleanSkin.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Endpoints.h"
#include "ui_CCleaniTunesUserDataFinished.h"

namespace {

// Sent as it stands: it is already percent-encoded.
const char kShareText[] = "One%20click%20to%20fix%20iTunes%20issues%20and%20optimize%20iTunes%20performance!";

QString productPage() { return platform::endpoint(platform::Endpoint::WebSite) + QStringLiteral("/repair-itunes/"); }

void openShare(const QString& address) {
    // A browser that cannot be started is not reported: sharing is optional.
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

}  // namespace

CCleaniTunesUserDataFinished::CCleaniTunesUserDataFinished(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::CCleaniTunesUserDataFinished) {
    ui->setupUi(this);
    m_strSkinPath = clean::skinFolder();
    initStyle();

    connect(ui->pushButton_OK, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotOk);
    connect(ui->pushButton_TryAgain, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotTryAgain);
    connect(ui->pushButton_fileOccupied, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotFileOccupied);
    connect(ui->btnFaceBook, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotOpenFaceBook);
    connect(ui->btnTwitter, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotOpenTwitter);
    connect(ui->btnGoogle, &QPushButton::clicked, this, &CCleaniTunesUserDataFinished::SlotOpenGoogle);
}

CCleaniTunesUserDataFinished::~CCleaniTunesUserDataFinished() { delete ui; }

void CCleaniTunesUserDataFinished::initStyle() {
    const QString& skin = m_strSkinPath;

    ui->label_title->setFont(g_styleCommon.getFont(39));
    ui->label_title->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label_size->setFont(g_styleCommon.getFont(23));
    ui->label_size->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->label_text->setFont(g_styleCommon.getFont(19));
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_unknown->setFont(g_styleCommon.getFont(19));
    ui->label_unknown->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->LabelShare->setFont(g_styleCommon.getFont(15));
    ui->label_fileIsOccupiedTitle->setFont(g_styleCommon.getFont(15));
    ui->label_fileIsOccupiedTitle->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label_fileIsOccupiedText->setFont(g_styleCommon.getFont(15));
    ui->label_fileIsOccupiedText->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));

    ui->pushButton_OK->setFont(g_styleCommon.getFont(15));
    ui->pushButton_OK->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    for (ZnStyleButton* button : {ui->pushButton_OK, ui->pushButton_fileOccupied}) setFilledButtonImages(button, skin);
    ui->pushButton_TryAgain->setFont(g_styleCommon.getFont(15));
    setOutlineButtonStyle(ui->pushButton_TryAgain, skin, QStringLiteral("button110_34"), QStringLiteral("disable"));

    struct Share {
        ZnStyleButton* button;
        const char* normal;
        const char* hover;
    };
    for (const Share& s :
         {Share{ui->btnFaceBook, "/Application/ShareFacebookNormal.png", "/Application/ShareFacebookHover.png"},
          Share{ui->btnTwitter, "/Application/ShareTwitterNormal.png", "/Application/ShareTwitterHover.png"},
          Share{ui->btnGoogle, "/Application/ShareGoogleNormal.png", "/Application/ShareGoogleHover.png"}}) {
        const QString normal = skin + QLatin1String(s.normal);
        s.button->setImages(normal, skin + QLatin1String(s.hover), normal, normal);
        s.button->setCursor(Qt::PointingHandCursor);
    }

    ui->label_image->setText(tr("image"));
    ui->label_title->setText(tr("Successfully Cleaned!"));
    ui->label_text->setText(tr("has been released."));
    ui->pushButton_OK->setText(tr("OK"));
    ui->pushButton_TryAgain->setText(tr("Try Again"));
    ui->LabelShare->setText(tr("Share it with your friends:"));
    ui->label_fileIsOccupiedTitle->setText(tr("It failed to clean some files."));
    ui->label_fileIsOccupiedText->setText(tr("If you want to remove them, please restart your PC and try it again."));
}

void CCleaniTunesUserDataFinished::playCompletedMovie() {
    QMovie* previous = m_pMovie;
    m_pMovie = new QMovie(m_strSkinPath + QStringLiteral("/gif/cleanCompleted.gif"), QByteArray(), this);
    ui->label_image->setMovie(m_pMovie);
    m_pMovie->start();
    delete previous;
}

void CCleaniTunesUserDataFinished::dropMovie() {
    delete m_pMovie;
    m_pMovie = nullptr;
}

void CCleaniTunesUserDataFinished::InitCleanSuccessView(qint64 cleanFileSize) {
    ui->widget->setFixedHeight(100);
    ui->label_title->setText(tr("Successfully Cleaned!"));
    ui->label_size->setText(ZnStyleCommon::formatFileSize(cleanFileSize));
    ui->label_text->setText(tr("has been released."));
    ui->widget_size->show();
    ui->pushButton_TryAgain->hide();
    ui->widget_fileIsOccupied->hide();
    ui->label_unknown->hide();
    playCompletedMovie();
}

void CCleaniTunesUserDataFinished::InitCleanFailedView(enumFixScene cleanType) {
    ui->widget->setFixedHeight(110);
    m_eCleanType = cleanType;
    ui->label_title->setText(tr("Cleaned Failed."));
    ui->label_unknown->setText(tr("It failed to clean iTunes because an unknown error occurred. Please try it again."));
    ui->label_unknown->show();
    ui->pushButton_TryAgain->show();
    ui->widget_fileIsOccupied->hide();
    ui->widget_share->hide();
    ui->widget_size->hide();
    // The failed view shows a still picture: no animation is left running.
    ui->label_image->setPixmap(QPixmap(m_strSkinPath + QStringLiteral("/Application/cleanUserDataFaild.png")));
    dropMovie();
}

void CCleaniTunesUserDataFinished::InitCleanFileOccupiedView(qint64 cleanSize) {
    ui->widget->setFixedHeight(100);
    ui->label_title->setText(tr("Cleanup Completed."));
    ui->label_size->setText(ZnStyleCommon::formatFileSize(cleanSize));
    ui->label_text->setText(tr("has been released."));
    ui->widget_size->show();
    ui->widget_fileIsOccupied->show();
    ui->pushButton_TryAgain->hide();
    ui->label_unknown->hide();
    playCompletedMovie();
    const QString icon = m_strSkinPath + QStringLiteral("/Application/userDataIsOccupied.png");
    ui->pushButton_fileOccupied->setImages(icon, icon, icon, icon);
    ui->verticalLayout_7->setContentsMargins(0, 60, 0, 0);
}

void CCleaniTunesUserDataFinished::SlotOk() {
    if (m_pMovie) m_pMovie->stop();
    emit SignalOkToHome();
}

void CCleaniTunesUserDataFinished::SlotTryAgain() { emit SignalTryAgain(m_eCleanType); }

void CCleaniTunesUserDataFinished::SlotFileOccupied() { emit SignalFileOccupied(); }

void CCleaniTunesUserDataFinished::SlotOpenFaceBook() {
    openShare(platform::endpoint(platform::Endpoint::FacebookShare) + QStringLiteral("/sharer.php?u=") + productPage());
}

void CCleaniTunesUserDataFinished::SlotOpenTwitter() {
    openShare(platform::endpoint(platform::Endpoint::TwitterShare) + QStringLiteral("/intent/tweet?url=") +
              productPage() + QStringLiteral("&text=") + QLatin1String(kShareText));
}

void CCleaniTunesUserDataFinished::SlotOpenGoogle() {
    openShare(platform::endpoint(platform::Endpoint::GoogleShare) + QStringLiteral("/share?url=") + productPage() +
              QStringLiteral("&text=") + QLatin1String(kShareText));
}
