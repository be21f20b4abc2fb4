#include "repair/CheckiTunesExceptionProcess.h"

#include <QMovie>
#include <QTimer>

#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CCheckiTunesExceptionProcess.h"

namespace {
constexpr int kPacingIntervalMs = 500;
constexpr int kHighestShownValue = 99;
}  // namespace

CCheckiTunesExceptionProcess::CCheckiTunesExceptionProcess(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::CCheckiTunesExceptionProcess) {
    ui->setupUi(this);
    m_strSkinPath = QString::fromStdString(GetSkinPath());
    m_pMovie = nullptr;
    m_pTimer = nullptr;
    m_nTickCount = 0;
    m_nProgressValue = 0;
    m_pTimer = new QTimer(this);
    m_pTimer->setObjectName(QStringLiteral("checkPacingTimer"));
    initStyle();
    connect(m_pTimer, &QTimer::timeout, this, &CCheckiTunesExceptionProcess::SlotTimerUpdateProgressBar);
}

CCheckiTunesExceptionProcess::~CCheckiTunesExceptionProcess() {
    delete m_pMovie;
    delete ui;
}

void CCheckiTunesExceptionProcess::initStyle() {
    m_pMovie = new QMovie(m_strSkinPath + QStringLiteral("/gif/itunes_icon_detecting.gif"));
    ui->label_gif->setMovie(m_pMovie);

    ui->label_title->setFont(g_styleCommon.getFont(19));
    ui->label_title->setAttribute(Qt::WA_TranslucentBackground);
    ui->label_title->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));

    ui->widgetProgressBar->SetProgressBarWidth(450);
    ui->widgetProgressBar->SetLabelWidth(30);
    ui->widgetProgressBar->SetLayoutSpacing(13);
}

void CCheckiTunesExceptionProcess::InitCheckExceptionView() {
    m_nTickCount = 0;
    m_nProgressValue = 0;
    if (m_pMovie) m_pMovie->start();
    ui->widgetProgressBar->SetProgressValue(0);
    m_pTimer->start(kPacingIntervalMs);
}

void CCheckiTunesExceptionProcess::SlotUpdateProgressBar(int value) {
    if (value < 1 || value > kHighestShownValue) return;
    if (m_nProgressValue > value) return;
    m_nProgressValue = value;
    m_nTickCount = value;
    ui->widgetProgressBar->SetProgressValue(value);
}

void CCheckiTunesExceptionProcess::SlotTimerUpdateProgressBar() {
    ++m_nTickCount;
    // The climb slows in bands: from tick 51 only even ticks advance, from
    // tick 81 only multiples of 6, from tick 91 only multiples of 30.
    if (m_nTickCount > 50 && m_nTickCount % 2 != 0) return;
    if (m_nTickCount > 80 && m_nTickCount % 3 != 0) return;
    if (m_nTickCount > 90 && m_nTickCount % 5 != 0) return;
    // The value goes on rising past 99 unseen: later reports below it are
    // ignored and the bar stays at 99.
    ++m_nProgressValue;
    if (m_nProgressValue >= 1 && m_nProgressValue <= kHighestShownValue)
        ui->widgetProgressBar->SetProgressValue(m_nProgressValue);
}

void CCheckiTunesExceptionProcess::SlotCheckExceptionFinished(bool isExcetion) {
    if (m_pMovie) m_pMovie->stop();
    if (m_pTimer) m_pTimer->stop();
    if (isExcetion)
        emit SignalCheckException();
    else
        emit SignalCheckSuccess();
}
