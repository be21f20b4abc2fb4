#pragma once
// The page that ends a clean of iTunes user data, in one of three views:
// cleaned (size released), failed (with Try Again for the scene of the clean)
// and cleaned except for files in use (with a button that asks the main window
// to list them). Three share buttons open share pages in the browser; every
// other choice goes to the main window as a signal.
#include <QString>
#include <QWidget>

#include "types/CommonTypes.h"

class QMovie;

namespace Ui {
class CCleaniTunesUserDataFinished;
}

class CCleaniTunesUserDataFinished : public QWidget {
    Q_OBJECT
public:
    explicit CCleaniTunesUserDataFinished(QWidget* parent = nullptr);
    ~CCleaniTunesUserDataFinished() override;

    // The engine's total size of the clean.
    void InitCleanSuccessView(qint64 cleanFileSize);
    // The scene of the clean (0 quick, 1 deep), sent again by Try Again.
    void InitCleanFailedView(enumFixScene cleanType);
    // The size cleaned before the clean ended with files in use.
    void InitCleanFileOccupiedView(qint64 cleanSize);

signals:
    void SignalOkToHome();
    void SignalTryAgain(enumFixScene cleanType);
    void SignalFileOccupied();

public slots:
    void SlotOk();
    void SlotTryAgain();
    void SlotFileOccupied();
    void SlotOpenFaceBook();
    void SlotOpenTwitter();
    void SlotOpenGoogle();

private:
    void initStyle();
    void playCompletedMovie();
    void dropMovie();

    Ui::CCleaniTunesUserDataFinished* ui = nullptr;
    QString m_strSkinPath;
    enumFixScene m_eCleanType = kFixScene_QuickClean;
    QMovie* m_pMovie = nullptr;
};
