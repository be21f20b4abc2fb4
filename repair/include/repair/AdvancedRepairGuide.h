#pragma once
// Repair guide: introduces the task chosen on the home page (enumFixScene)
// with a picture, a title, a description and the task's one action button
// (Scan, Uninstall with the delete-user-data choice, or Repair). The page
// starts nothing itself: its buttons become signals, and the main window reads
// the scene and the choice back through the getters.
#include <QString>
#include <QWidget>

#include "types/CommonTypes.h"

namespace Ui {
class CAdvancedRepairGuide;
}

class CAdvancedRepairGuide : public QWidget {
    Q_OBJECT
public:
    explicit CAdvancedRepairGuide(QWidget* parent = nullptr);
    ~CAdvancedRepairGuide() override;

    // Stores the scene and shows it when it is 0 to 6; any other value is
    // stored and leaves the page as it was.
    void SetFixScene(int scene);
    enumFixScene GetFixScene() const;
    // The stored scene when it is a repair scene (3 to 6), else 0: the result
    // status of a successful complete repair started from this guide.
    int GetRepairScene() const;
    bool IsDeleteUserData() const;

signals:
    void SignalBackHome();
    void SignalCleaniTunesQuickly();
    void SignalCleaniTunesDeeply();
    void SignalCompletelyUninstalliTunes();
    // Always true from this page: the complete repair (uninstall, reinstall).
    void SignalRepairiTunes(bool isAdvanced);

public slots:
    void SlotBackHome();
    void SlotCleaniTunesQuickly();
    void SlotCleaniTunesDeeply();
    void SlotUninstalliTunesCompletely();
    void SlotRepairiTunes();
    void SlotCheckBoxStateChanged(int nState);

private:
    void initStyle();
    void showScene(const QString& picture, const QString& title, const QString& description);

    Ui::CAdvancedRepairGuide* ui = nullptr;
    bool m_bDeleteUserData = false;
    enumFixScene m_eFixScene = kFixScene_QuickClean;
    QString m_strSkinPath;
};
