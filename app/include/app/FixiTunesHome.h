#pragma once
// The home page: the iTunes icon, a line naming the installed iTunes version
// and seven task tiles (three cleaning and uninstall tasks above, four repair
// tasks below). A click on a tile reports its task as an enumFixScene; the
// hovered tile shows its hover picture and a blue title.
#include <QString>
#include <QWidget>

#include "types/CommonTypes.h"

namespace Ui {
class CFixiTunesHome;
}

class CFixiTunesHome : public QWidget {
    Q_OBJECT

public:
    explicit CFixiTunesHome(QWidget* parent = nullptr);
    ~CFixiTunesHome() override;

    // "No iTunes on Your PC" for an empty version, else "iTunes Version: " and
    // the version text.
    void SetiTunesVersion(const QString& version);

    // Gives every tile its normal picture and title colour again. A tile learns
    // that the pointer left it only from a leave event, which does not come when
    // the page is hidden or a menu or dialog opens over it; the page calls this
    // itself when it is hidden and when its window loses activation, and the
    // main window when it opens its tools menu.
    void ClearTileHover();

signals:
    void SignalFixiTunesScene(enumFixScene scene);

public slots:
    void SlotCleaniTunesQuickly();
    void SlotCleaniTunesDeeply();
    void SlotUninstalliTunesCompletely();
    void SlotRepairFailediDeviceDetection();
    void SlotFixiTunesInstallUpdateIssues();
    void SlotRepairBackupRestoreErrors();
    void SlotFixOtheriTunesProblems();

    void SlotmouseEnterQuickly();
    void SlotmouseLeaveQuickly();
    void SlotmouseEnterDeeply();
    void SlotmouseLeaveDeeply();
    void SlotmouseEnterCompletely();
    void SlotmouseLeaveCompletely();
    void SlotmouseEnterDetection();
    void SlotmouseLeaveDetection();
    void SlotmouseEnterIssues();
    void SlotmouseLeaveIssues();
    void SlotmouseEnterErrors();
    void SlotmouseLeaveErrors();
    void SlotmouseEnterProblems();
    void SlotmouseLeaveProblems();

private:
    void InitStyle();
    void InitConnect();

    Ui::CFixiTunesHome* ui = nullptr;
};
