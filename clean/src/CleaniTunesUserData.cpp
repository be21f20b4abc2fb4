#include "clean/CleaniTunesUserData.h"

#include <QMovie>
#include <QPixmap>

#include "CleanSkin.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CCleaniTunesUserData.h"

CCleaniTunesUserData::CCleaniTunesUserData(QWidget* parent) : QWidget(parent), ui(new Ui::CCleaniTunesUserData) {
    ui->setupUi(this);
    m_strSkinPath = clean::skinFolder();
    initStyle();
    ui->label_gif->hide();
    connect(ui->pushButton_stop, &QPushButton::clicked, this, &CCleaniTunesUserData::SlotStopCleaniTunesUserData);
}

CCleaniTunesUserData::~CCleaniTunesUserData() { delete ui; }

void CCleaniTunesUserData::initStyle() {
    ui->label_cleanTip->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_cleanTip->setFont(g_styleCommon.getFont(19));
    for (QLabel* label : {ui->label_currentSize, ui->label_fraction, ui->label_totalSize}) {
        label->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
        label->setFont(g_styleCommon.getFont(15));
    }
    ui->pushButton_stop->setFont(g_styleCommon.getFont(15));
    setOutlineButtonStyle(ui->pushButton_stop, m_strSkinPath, QStringLiteral("button100_30"));
    ui->widgetProgressBar->SetProgressBarWidth(500);
    ui->widgetProgressBar->SetLabelWidth(30);

    ui->label_cleanTip->setText(tr("Cleaning iTunes files, please wait..."));
    ui->pushButton_stop->setText(tr("Stop"));
}

void CCleaniTunesUserData::playMovie(QMovie*& movie, QLabel* label, const QString& image) {
    QMovie* previous = movie;
    movie = new QMovie(m_strSkinPath + image, QByteArray(), this);
    label->setMovie(movie);
    movie->start();
    delete previous;
}

void CCleaniTunesUserData::InitCleanView() {
    ui->widgetProgressBar->show();
    ui->label_currentSize->show();
    ui->label_fraction->show();
    ui->label_totalSize->show();
    ui->pushButton_stop->show();
    ui->label_gif->hide();
    if (m_pCancelMovie) m_pCancelMovie->stop();
    ui->verticalLayout_tip->setSpacing(2);

    playMovie(m_pCleanMovie, ui->label_image, QStringLiteral("/gif/cleaniTunesUserData.gif"));
    ui->label_cleanTip->setText(tr("Cleaning iTunes files, please wait..."));
    // A clean starts from nothing: no sizes of an earlier clean are shown.
    ui->label_currentSize->setText(QStringLiteral("0GB"));
    ui->label_totalSize->setText(QStringLiteral("0GB"));
    ui->widgetProgressBar->SetProgressValue(0);
}

void CCleaniTunesUserData::SlotCleaniTunesUserDataProcess(qlonglong totalSize, qlonglong currentFileSize) {
    if (currentFileSize >= totalSize) return;
    ui->label_totalSize->setText(ZnStyleCommon::formatFileSize(totalSize));
    ui->label_currentSize->setText(ZnStyleCommon::formatFileSize(currentFileSize));

    // The fraction is taken in whole kibibytes. A total below 1 KiB (or an
    // unknown, negative one) has no fraction, and the bar keeps its value.
    const qlonglong totalKiB = totalSize / 1024;
    const qlonglong currentKiB = currentFileSize / 1024;
    if (totalKiB <= 0 || currentKiB < 0) return;
    const double percent = double(currentKiB) / double(totalKiB) * 100.0;
    if (!(percent >= 0.0 && percent < 100.0)) return;
    ui->widgetProgressBar->SetProgressValue(static_cast<int>(percent));
}

void CCleaniTunesUserData::SlotStopCleaniTunesUserData() {
    // The box is kept for the life of the page.
    if (!m_pStopBox) {
        m_pStopBox = new ZnMessageBox(tr("If you stop, some data won't be cleaned. Are you sure you want to stop?"),
                                      tr("Note"), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    }
    m_pStopBox->exec();
    if (m_pStopBox->getResult() != ZnMessageBoxButton::Yes) return;

    showCancelView();
    emit SignalStopCleaniTunesUserData();
}

void CCleaniTunesUserData::showCancelView() {
    if (m_pCleanMovie) m_pCleanMovie->stop();
    ui->widgetProgressBar->hide();
    ui->label_gif->show();
    playMovie(m_pCancelMovie, ui->label_gif, QStringLiteral("/gif/stopClean500.gif"));
    ui->verticalLayout_tip->setSpacing(16);
    ui->label_image->setPixmap(QPixmap(m_strSkinPath + QStringLiteral("/Application/stopCleaniTunesUserData.png")));
    ui->label_fraction->hide();
    ui->label_currentSize->hide();
    ui->label_totalSize->hide();
    ui->pushButton_stop->hide();
    ui->label_cleanTip->setText(tr("Cancelling, please wait..."));
}

void CCleaniTunesUserData::SlotStopCleaniTunesUserDataFinished() { emit SignalStopCleaniTunesUserDataFinished(); }
