#include "repair/FixiTunesProcess.h"

#include <QMovie>
#include <QTimer>

#include <cmath>

#include "types/CommonTypes.h"
#include "SorvelInterface.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CFixiTunesProcess.h"

namespace {

constexpr int kHighestShownValue = 99;
constexpr int kStepsPerPhase = 6;

// Ceilings of the uninstall (step 0), user-data deletion (step 1) and first
// reinstall phase (step 2), by the number of updates since the view began.
constexpr int kUninstallCeilings[kStepsPerPhase] = {45, 52, 68, 88, 95, 99};
constexpr int kDeleteDataCeilings[kStepsPerPhase] = {20, 36, 55, 72, 85, 99};
constexpr int kInstalliTunesCeilings[kStepsPerPhase] = {25, 32, 41, 55, 65, 70};
// Shares (in thirtieths) of the rest above the base value that each
// component-install update (step 3) adds to the ceiling.
constexpr int kInstallComponentShares[kStepsPerPhase] = {9, 7, 5, 3, 3, 3};

// Bytes to whole mebibytes, as the detail line shows them.
qlonglong toMiB(qlonglong bytes) { return bytes / 1024 / 1024; }

}  // namespace

CFixiTunesProcess::CFixiTunesProcess(QWidget* parent) : QWidget(parent), ui(new Ui::CFixiTunesProcess) {
    ui->setupUi(this);
    m_strSkinPath = QString::fromStdString(GetSkinPath());

    m_pFixTimer = new QTimer(this);
    m_pFixTimer->setObjectName(QStringLiteral("fixTimer"));
    m_pStepTimer = new QTimer(this);
    m_pStepTimer->setObjectName(QStringLiteral("stepTimer"));
    m_pQuickTimer = new QTimer(this);
    m_pQuickTimer->setObjectName(QStringLiteral("quickTimer"));

    initStyle();

    connect(m_pFixTimer, &QTimer::timeout, this, &CFixiTunesProcess::SlotFixiTunesProcessBar);
    connect(m_pStepTimer, &QTimer::timeout, this, &CFixiTunesProcess::SlotOneKeyRepairProcessBar);
    connect(m_pQuickTimer, &QTimer::timeout, this, &CFixiTunesProcess::SlotOneKeyQuickToAim);
    connect(ui->pushButton_Stop, &QPushButton::clicked, this, &CFixiTunesProcess::SlotDeleteUserDataStop);
}

CFixiTunesProcess::~CFixiTunesProcess() {
    delete m_pMovie;
    delete m_pStopMovie;
    delete ui;
}

void CFixiTunesProcess::initStyle() {
    // The form's frames only group the lines of the page. They are raised
    // styled panels, which the Windows styles leave undrawn but this
    // platform's style outlines: draw them without a frame.
    for (QFrame* frame : {ui->frame_4, ui->frameDesc, ui->frameCancel, ui->frame, ui->frame_3, ui->frame_2})
        frame->setFrameShape(QFrame::NoFrame);

    struct LabelStyle {
        QLabel* label;
        int font;
        int color;
    };
    const LabelStyle labels[] = {
        {ui->label_FixiTunesProcessTitle, 39, 9},
        {ui->label_FixiTunesProcessText, 19, 2},
        {ui->label_FixiTunesProcessDetail, 11, 16},
        {ui->labelCancell, 19, 2},
    };
    for (const LabelStyle& style : labels) {
        style.label->setFont(g_styleCommon.getFont(style.font));
        style.label->setStyleSheet(ZnStyleCommon::getColorStyleSheet(style.color));
        style.label->setAttribute(Qt::WA_TranslucentBackground);
        style.label->adjustSize();
    }

    ui->pushButton_Stop->setFont(g_styleCommon.getFont(15));
    ui->pushButton_Stop->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    ui->pushButton_Stop->setText(tr("Stop"));
    setFilledButtonImages(ui->pushButton_Stop, m_strSkinPath);
    ui->pushButton_Stop->hide();

    ui->widgetProgressBar->SetProgressBarWidth(450);
    ui->widgetProgressBar->SetLabelWidth(30);
    ui->widgetProgressBar->SetLayoutSpacing(13);
}

void CFixiTunesProcess::replaceMovie(const QString& file) {
    if (m_pMovie) {
        m_pMovie->stop();
        delete m_pMovie;
        m_pMovie = nullptr;
    }
    m_pMovie = new QMovie(m_strSkinPath + file);
    ui->label_FixiTunesProcess->setMovie(m_pMovie);
    m_pMovie->start();
}

void CFixiTunesProcess::resetPacing(int stepInterval) {
    m_nStepCeiling = 3;
    m_nItemCount = 0;
    m_nInstallCount = 0;
    m_nBaseValue = 0;
    m_nProgressValue = 0;
    m_nAimValue = 5;
    m_nStepInterval = stepInterval;
}

void CFixiTunesProcess::hideStopControls() {
    ui->pushButton_Stop->hide();
    ui->labelCancellGif->hide();
    ui->labelCancell->hide();
}

void CFixiTunesProcess::setDefaultHeights() {
    ui->frameDesc->setMinimumHeight(54);
    ui->frameCancel->setMinimumHeight(24);
}

void CFixiTunesProcess::restartStepTimer() {
    if (m_pStepTimer->isActive()) m_pStepTimer->stop();
    m_pStepTimer->start(m_nStepInterval);
}

void CFixiTunesProcess::InitDownloadDriverView() {
    replaceMovie(QStringLiteral("/gif/downloading_driver.gif"));
    ui->label_FixiTunesProcessTitle->setText(tr("Repairing iTunes..."));
    ui->label_FixiTunesProcessText->setText(tr("Downloading the repair driver, please keep your internet stable."));
    ui->label_FixiTunesProcessDetail->setText(QString());
    ui->label_FixiTunesProcessDetail->show();
    hideStopControls();
    setDefaultHeights();
    ui->widgetProgressBar->show();
    ui->widgetProgressBar->SetProgressValue(0);
}

void CFixiTunesProcess::InitCompleteRepairView() {
    replaceMovie(QStringLiteral("/gif/installing_driver.gif"));
    ui->label_FixiTunesProcessTitle->setText(tr("Repairing iTunes..."));
    ui->label_FixiTunesProcessText->setText(tr("Installing the repair driver, please wait."));
    ui->label_FixiTunesProcessDetail->setText(tr("Installing iTunes ..."));
    ui->label_FixiTunesProcessDetail->show();
    resetPacing(5000);
    hideStopControls();
    setDefaultHeights();
    ui->widgetProgressBar->SetProgressValue(0);
    ui->widgetProgressBar->show();
    restartStepTimer();
}

void CFixiTunesProcess::InitInstallDriverView(int nFailCount) {
    replaceMovie(QStringLiteral("/gif/installing_driver.gif"));
    ui->label_FixiTunesProcessTitle->setText(tr("Repairing iTunes..."));
    ui->label_FixiTunesProcessText->setText(tr("Installing the repair driver, please wait."));
    ui->label_FixiTunesProcessDetail->setText(tr("Installing iTunes ..."));
    ui->label_FixiTunesProcessDetail->show();
    m_nProgressValue = 0;
    hideStopControls();
    setDefaultHeights();
    ui->widgetProgressBar->show();
    ui->widgetProgressBar->SetProgressValue(0);
    m_nFixTickCount = 0;
    if (nFailCount > 0) m_pFixTimer->start(nFailCount * 500);
}

void CFixiTunesProcess::InitUninstallView() {
    replaceMovie(QStringLiteral("/gif/uninstalling.gif"));
    ui->label_FixiTunesProcessTitle->setText(tr("Uninstalling iTunes..."));
    ui->label_FixiTunesProcessText->setText(tr("It will take some time, please wait."));
    ui->label_FixiTunesProcessDetail->setText(tr("Uninstalling iTunes ..."));
    ui->label_FixiTunesProcessDetail->show();
    resetPacing(3000);
    hideStopControls();
    setDefaultHeights();
    ui->widgetProgressBar->show();
    ui->widgetProgressBar->SetProgressValue(0);
    restartStepTimer();
}

void CFixiTunesProcess::SlotInitDeleteUserDataView() {
    replaceMovie(QStringLiteral("/gif/deleting_itunes_data.gif"));
    ui->label_FixiTunesProcessTitle->setText(tr("Deleting iTunes data..."));
    ui->label_FixiTunesProcessText->setText(tr("It will take some time, please wait."));
    ui->label_FixiTunesProcessDetail->show();
    resetPacing(1000);
    setDefaultHeights();
    ui->widgetProgressBar->show();
    ui->widgetProgressBar->SetProgressValue(0);
    ui->labelCancell->hide();
    ui->labelCancellGif->hide();
    ui->pushButton_Stop->show();
    repaint();
    restartStepTimer();
}

void CFixiTunesProcess::InitDeleteUserDataStopView() {
    if (m_pMovie) m_pMovie->stop();
    ui->label_FixiTunesProcessTitle->setText(QStringLiteral(" "));
    ui->label_FixiTunesProcessText->setText(tr(" "));
    ui->label_FixiTunesProcessDetail->hide();
    ui->frameDesc->setMinimumHeight(43);
    ui->frameCancel->setMinimumHeight(35);
    ui->frameCancel->show();
    ui->labelCancell->setText(tr("Cancelling, please wait ..."));
    ui->labelCancell->show();
    ui->widgetProgressBar->hide();
    ui->pushButton_Stop->hide();
    ui->labelCancellGif->resize(450, 6);
    ui->labelCancellGif->show();
    if (!m_pStopMovie) m_pStopMovie = new QMovie(m_strSkinPath + QStringLiteral("/gif/stopDelUserData450.gif"));
    ui->labelCancellGif->setMovie(m_pStopMovie);
    m_pStopMovie->start();
}

void CFixiTunesProcess::StopFixProcessTimer() {
    if (m_pFixTimer) m_pFixTimer->stop();
}

void CFixiTunesProcess::SlotFixiTunesProcess(int product) {
    ui->label_FixiTunesProcessDetail->setText(
        tr("Installing ") + QString::fromWCharArray(GetiTunesProductName(product)) + QStringLiteral(" ..."));
}

void CFixiTunesProcess::SlotDownloadiTunesProcess(qlonglong received, qlonglong total) {
    ui->label_FixiTunesProcessDetail->setText(QString::number(toMiB(received)) + QStringLiteral("MB /") +
                                              QString::number(toMiB(total)) + QStringLiteral("MB"));
    // Whole KiB on both sides. Below 1 KiB, or with an unknown total (-1),
    // there is no ratio to show: the bar keeps its value.
    const qlonglong receivedKiB = received / 1024;
    const qlonglong totalKiB = total / 1024;
    if (totalKiB <= 0) return;
    const double ratio = double(receivedKiB) / double(totalKiB) * 100.0;
    if (ratio >= 0.0 && ratio < 100.0) ui->widgetProgressBar->SetProgressValue(int(ratio));
}

void CFixiTunesProcess::StartQuickToAim(int aim, int interval) {
    m_nAimValue = aim;
    if (m_nProgressValue > aim - 5) return;
    if (m_pStepTimer->isActive()) m_pStepTimer->stop();
    if (m_pQuickTimer->isActive()) m_pQuickTimer->stop();
    m_pQuickTimer->start(interval);
}

void CFixiTunesProcess::SlotUpdateData(QString text, int step) {
    if (!text.isEmpty()) ui->label_FixiTunesProcessDetail->setText(text);

    switch (step) {
    case kUpdateDataStep_UninstallComponent:
    case kUpdateDataStep_DeleteUserData:
    case kUpdateDataStep_InstalliTunes: {
        const int* ceilings = step == kUpdateDataStep_UninstallComponent ? kUninstallCeilings
                              : step == kUpdateDataStep_DeleteUserData   ? kDeleteDataCeilings
                                                                         : kInstalliTunesCeilings;
        if (m_nItemCount >= kStepsPerPhase) return;  // past the sixth update nothing changes
        const int n = ++m_nItemCount;
        if (n > 1) StartQuickToAim(m_nStepCeiling, 200);
        m_nStepCeiling = ceilings[n - 1];
        if (step == kUpdateDataStep_InstalliTunes) m_nBaseValue = m_nStepCeiling;
        break;
    }
    case kUpdateDataStep_InstallComponent: {
        // While the base is low the components still have most of the bar to
        // cover: the step timer quickens with every component.
        if (m_nBaseValue < 30) m_nStepInterval = m_nStepInterval * 2 / 3;
        if (m_nInstallCount >= kStepsPerPhase) return;
        const int m = ++m_nInstallCount;
        const double rest = 100 - m_nBaseValue;
        if (m == 1) {
            StartQuickToAim(m_nBaseValue, 200);
            m_nStepCeiling = m_nBaseValue;
        } else {
            StartQuickToAim(m_nStepCeiling, 200);
        }
        m_nStepCeiling += int(std::trunc(rest * kInstallComponentShares[m - 1] / 30.0));
        break;
    }
    case kUpdateDataStep_Done:
        StartQuickToAim(m_nStepCeiling, 50);
        m_nStepCeiling = kHighestShownValue;
        break;
    default: break;
    }
}

void CFixiTunesProcess::SlotFixiTunesProcessBar() {
    ++m_nFixTickCount;
    if (m_nFixTickCount > 50 && m_nFixTickCount % 2 != 0) return;
    if (m_nFixTickCount > 70 && m_nFixTickCount % 3 != 0) return;
    if (m_nFixTickCount > 90 && m_nFixTickCount % 5 != 0) return;
    ++m_nProgressValue;
    if (m_nProgressValue > kHighestShownValue || m_nProgressValue < 1) return;
    ui->widgetProgressBar->SetProgressValue(m_nProgressValue);
    if (m_nProgressValue == kHighestShownValue) StopFixProcessTimer();
}

void CFixiTunesProcess::SlotOneKeyRepairProcessBar() {
    ++m_nProgressValue;
    if (m_nProgressValue > m_nStepCeiling) return;
    if (m_nProgressValue >= kHighestShownValue) m_nProgressValue = kHighestShownValue;
    ui->widgetProgressBar->SetProgressValue(m_nProgressValue);
}

void CFixiTunesProcess::SlotOneKeyQuickToAim() {
    if (m_nProgressValue >= m_nStepCeiling) return;
    ++m_nProgressValue;
    if (m_nProgressValue >= kHighestShownValue) m_nProgressValue = kHighestShownValue;
    ui->widgetProgressBar->SetProgressValue(m_nProgressValue);
    if (m_nProgressValue <= m_nAimValue - 3) return;
    if (m_pQuickTimer->isActive()) m_pQuickTimer->stop();
    if (!m_pStepTimer->isActive()) m_pStepTimer->start(m_nStepInterval);
}

void CFixiTunesProcess::SlotDeleteUserDataStop() {
    ZnMessageBox box(tr("If you stop, some iTunes data will be left on your computer. Are you sure you want to stop? "),
                     QString(), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    box.exec();
    if (box.getResult() == ZnMessageBoxButton::Yes) emit SignalDeleteUserDataStop();
}
