#pragma once
// Detection progress page, shown while the product check runs at start. An
// animated picture, a line of text and a progress bar that the page moves by
// itself on a 500 ms timer, ever more slowly and never beyond 99; progress
// reports from the main window push it forward. When the check ends the page
// says, by one of two signals, whether problems were found.
#include <QString>
#include <QWidget>

class QMovie;
class QTimer;

namespace Ui {
class CCheckiTunesExceptionProcess;
}

class CCheckiTunesExceptionProcess : public QWidget {
    Q_OBJECT
public:
    explicit CCheckiTunesExceptionProcess(QWidget* parent = nullptr);
    ~CCheckiTunesExceptionProcess() override;

    // Starts a new check: bar and pacing from 0, animation and timer running.
    void InitCheckExceptionView();

signals:
    void SignalCheckException();
    void SignalCheckSuccess();

public slots:
    // A real progress report, 1 to 99; lower than the shown value is ignored.
    void SlotUpdateProgressBar(int value);
    // One pacing step (the timer's slot).
    void SlotTimerUpdateProgressBar();
    // Stops animation and timer; the bar keeps its value.
    void SlotCheckExceptionFinished(bool isExcetion);

private:
    void initStyle();

    Ui::CCheckiTunesExceptionProcess* ui = nullptr;
    QString m_strSkinPath;
    QMovie* m_pMovie = nullptr;
    QTimer* m_pTimer = nullptr;
    int m_nTickCount = 0;
    int m_nProgressValue = 0;
};
