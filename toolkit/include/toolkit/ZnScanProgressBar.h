#pragma once
// Thin progress bar with a percentage label beside it. Pages drive it with
// SetProgressValue (0 to 99; a full bar is never shown); StartSimulatedRun
// lets an internal timer count from 1 to 99, slowing down towards the end.
#include <QString>
#include <QWidget>

class QTimer;

namespace Ui {
class ZnScanProgressBar;
}

class ZnScanProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit ZnScanProgressBar(QWidget* parent = nullptr);
    ~ZnScanProgressBar() override;

    // Shows 0..99 in the bar and as "N%" in the label; other values are ignored.
    void SetProgressValue(int value);
    // Stops the simulated run.
    void StopTimer();
    void SetProgressBarWidth(int width);
    void SetLabelWidth(int width);
    void SetLayoutSpacing(int spacing);
    void SetProgressBarSize(int width, int height);
    void SetLabelSize(int width, int height);
    // Shows the text in the label; an empty text hides the label.
    void SetLabelText(QString text);
    // Counts from 1 to 99 at a base interval of (seconds + 10) * 10 ms,
    // slower past 50, 75, 85 and 95; stays at 99 until StopTimer.
    void StartSimulatedRun(int seconds);

public slots:
    // One step of the simulated run (the timer's slot).
    void UpdateProgressBar();

private:
    void initStyle();

    Ui::ZnScanProgressBar* ui = nullptr;
    QTimer* m_pTimer = nullptr;
    int m_nBaseInterval = 0;
    int m_nCount = 0;
};
