#pragma once
// Result page that ends every component repair, complete repair (reinstall)
// and complete uninstall. SetFixStatus shows one of seventeen views, chosen by
// an enumFixStatus code 0 to 16: title, sentence, a success movie or failure
// picture, and the controls that fit the outcome (OK, Try Again, Open iTunes,
// the files that blocked the operation, a note with a link, share buttons).
// A view changes only the elements it names; the others keep what earlier
// views left. The page starts nothing but iTunes and the web browser; every
// other choice goes to the main window as a signal.
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "types/CommonTypes.h"

class QMovie;

namespace Ui {
class CFixiTunesFinished;
}

class CFixiTunesFinished : public QWidget {
    Q_OBJECT
public:
    // The list of files that blocked the operation, shown by views 8, 11, 15
    // and 16. By default the main window's repair occupied-file list (empty
    // while there is no main window).
    using OccupiedFileSource = std::function<std::vector<std::wstring>()>;

    explicit CFixiTunesFinished(QWidget* parent = nullptr);
    ~CFixiTunesFinished() override;

    // Shows the view of an enumFixStatus code 0 to 16; other codes change
    // nothing.
    void SetFixStatus(int fixStatus);

    // Each connects Try Again to one route; every call adds a connection.
    void ConnectTryAgainRepair();
    void ConnectTryAgainOneKeyRepair();
    void ConnectTryAgainUninstall();

    // Replaces the occupied-file source for every page (tests use this to
    // stand in for the main window); an empty source restores the default.
    static void SetOccupiedFileSource(OccupiedFileSource source);

signals:
    void SignalOk();
    void SignalTryAgainRepair(bool isAdvanced);
    void SignalTryAgainSingleFix();
    void SignalTryAgainUninstall();

public slots:
    void SlotOk();
    void SlotFaceBook();
    void SlotTwitter();
    void SlotGoogle();
    void SlotOpeniTunes();
    void SlotClickLink(QString link);
    void SlotTryAgainRepair();
    void SlotTryAgainOneKeyRepair();
    void SlotTryAgainUninstall();

private:
    void initStyle();
    void fillOccupiedFileList();

    Ui::CFixiTunesFinished* ui = nullptr;
    QMovie* m_pSuccessMovie = nullptr;
    QString m_strSkinPath;
};
