#include "toolkit/ZnScanProgressBar.h"

#include <QTimer>

#include "toolkit/ZnStyleCommon.h"
#include "ui_ZnScanProgressBar.h"

ZnScanProgressBar::ZnScanProgressBar(QWidget* parent)
    : QWidget(parent, Qt::WindowFlags()),
      ui(new Ui::ZnScanProgressBar) {
    ui->setupUi(this);
    // The timer goes with the widget.
    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, &ZnScanProgressBar::UpdateProgressBar);
    initStyle();
}

ZnScanProgressBar::~ZnScanProgressBar() { delete ui; }

void ZnScanProgressBar::initStyle() {
    ui->label->setFont(g_styleCommon.getFont(15));
    ui->label->setStyleSheet(g_styleCommon.getColorStyleSheet(9));
    ui->progressBar->setTextVisible(false);
    ui->label->setMinimumWidth(30);
    ui->label->setMaximumWidth(30);
    ui->progressBar->setValue(0);
    ui->label->setText(tr("0%"));
    ui->progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar {color: transparent; border: 1px solid #ffffff; border-radius: 0px; background-color: "
        "#E6E6E6;}QProgressBar::chunk{border-radius: "
        "3px;background:qlineargradient(spread:pad,x1:0,y1:0,x2:1,y2:0,stop:0 #39acfd,stop:1 "
        "#377dff);}QProgressBar {border: 1px solid #ffffff; border-radius: 3px; text-align: none;}"));
    ui->label->setAlignment(Qt::AlignLeft);
}

void ZnScanProgressBar::SetProgressValue(int value) {
    // The bar's range is 0..100, but a full bar is never shown.
    if (value < 0 || value > 99) return;
    ui->progressBar->setValue(value);
    ui->label->setText(tr("%1%").arg(value));
    update();
}

void ZnScanProgressBar::StopTimer() {
    if (m_pTimer) m_pTimer->stop();
}

void ZnScanProgressBar::SetProgressBarWidth(int width) {
    ui->progressBar->setMinimumWidth(width);
    ui->progressBar->setMaximumWidth(width);
}

void ZnScanProgressBar::SetLabelWidth(int width) {
    ui->label->setMinimumWidth(width);
    ui->label->setMaximumWidth(width);
}

void ZnScanProgressBar::SetLayoutSpacing(int spacing) { ui->horizontalLayout->setSpacing(spacing); }

void ZnScanProgressBar::SetProgressBarSize(int width, int height) {
    ui->progressBar->setMinimumSize(width, height);
    ui->progressBar->setMaximumSize(width, height);
}

void ZnScanProgressBar::SetLabelSize(int width, int height) {
    ui->label->setMinimumSize(width, height);
    ui->label->setMaximumSize(width, height);
}

void ZnScanProgressBar::SetLabelText(QString text) {
    ui->label->setText(text);
    ui->label->setVisible(!text.isEmpty());
}

void ZnScanProgressBar::StartSimulatedRun(int seconds) {
    m_nCount = 1;
    ui->progressBar->setValue(m_nCount);
    ui->label->setText(QStringLiteral("%1%").arg(m_nCount));
    m_nBaseInterval = (seconds + 10) * 1000 / 100;
    m_pTimer->start(m_nBaseInterval);
}

void ZnScanProgressBar::UpdateProgressBar() {
    ui->progressBar->setValue(m_nCount);
    ui->label->setText(QStringLiteral("%1%").arg(m_nCount));

    // Slower and slower towards the end; every restart begins a full interval.
    int factor = 1;
    if (m_nCount >= 95)
        factor = 32;
    else if (m_nCount >= 85)
        factor = 16;
    else if (m_nCount >= 75)
        factor = 8;
    else if (m_nCount >= 50)
        factor = 4;
    m_pTimer->start(m_nBaseInterval * factor);

    if (m_nCount < 99) ++m_nCount;
}
