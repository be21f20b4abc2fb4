#include "app/FixiTunesHome.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>

#include "toolkit/ZnStyleButtonWidget.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CFixiTunesHome.h"

namespace {

// The title colour of a tile under the mouse and of every other tile. Set on
// the tile, it reaches the tile's labels; a label with a colour of its own
// (the descriptions) keeps it.
const char kHoverSheet[] = "QLabel{color:#377dff;}";
const char kNormalSheet[] = "QLabel{color:#484848;}";

// Clears the tiles' hover look when the page is hidden or its window is no
// longer the active one (a dialog opened over it, another program in front).
class HoverGuard : public QObject {
public:
    explicit HoverGuard(CFixiTunesHome* page) : QObject(page), m_page(page) { page->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
            // The window is known once the page is shown in it; a filter is
            // installed only once however often this runs.
            if (watched == m_page && m_page->window() != m_page) m_page->window()->installEventFilter(this);
            break;
        case QEvent::Hide:
            if (watched == m_page) m_page->ClearTileHover();
            break;
        case QEvent::WindowDeactivate: m_page->ClearTileHover(); break;
        default: break;
        }
        return false;
    }

private:
    CFixiTunesHome* m_page;
};

}  // namespace

CFixiTunesHome::CFixiTunesHome(QWidget* parent) : QWidget(parent), ui(new Ui::CFixiTunesHome) {
    ui->setupUi(this);
    InitStyle();
    InitConnect();
    new HoverGuard(this);  // a child of the page
}

CFixiTunesHome::~CFixiTunesHome() { delete ui; }

void CFixiTunesHome::SetiTunesVersion(const QString& version) {
    if (version.isEmpty())
        ui->label_version->setText(tr("No iTunes on Your PC"));
    else
        ui->label_version->setText(tr("iTunes Version: ") + version);
}

void CFixiTunesHome::ClearTileHover() {
    // A leave event puts a tile back into its normal state, and its mouseLeave
    // signal gives the title its normal colour.
    for (ZnStyleButtonWidget* tile : findChildren<ZnStyleButtonWidget*>()) {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(tile, &leave);
    }
}

void CFixiTunesHome::InitStyle() {
    const QString skin = g_styleCommon.getSkinPath();

    // Normal and hover pictures of each tile, in scene order. A pressed tile
    // shows its normal picture, a disabled one its hover picture.
    struct TileImages {
        ZnStyleButtonWidget* tile;
        const char* normal;
        const char* hover;
    };
    const TileImages tiles[] = {
        {ui->widget_CleaniTunesQuickly, "/Application/quickClean_normal.png", "/Application/quickClean_hover.png"},
        {ui->widget_CleaniTunesDeeply, "/Application/deepClean_normal.png", "/Application/deepClean_hover.png"},
        {ui->widget_UninstalliTunesCompletely, "/Application/fullUninstall_normal.png",
         "/Application/fullUninstall_hover.png"},
        {ui->widget_RepairFailediDeviceDetection, "/Application/repairiDeviceDetection_normal.png",
         "/Application/repairiDeviceDetection_hover.png"},
        {ui->widget_FixiTunesInstallUpdateIssues, "/Application/fixUpdateIssues_normal.png",
         "/Application/fixUpdateIssues_hover.png"},
        {ui->widget_RepairBackupRestoreErrors, "/Application/repairRestoreError_normal.png",
         "/Application/repairRestoreError_hover.png"},
        {ui->widget_FixOtheriTunesProblems, "/Application/fixOtheriTunes_normal.png",
         "/Application/fixOtheriTunes_hover.png"},
    };
    for (const TileImages& t : tiles) {
        const QString normal = skin + QLatin1String(t.normal);
        const QString hover = skin + QLatin1String(t.hover);
        t.tile->setImages(normal, hover, normal, hover);
    }

    ui->label_image->setPixmap(QPixmap(skin + QStringLiteral("/Application/itunes_icon.png")));

    ui->label_version->setFont(g_styleCommon.getFont(15));
    ui->label_version->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    for (QLabel* title : {ui->label_quitCleanTitle, ui->label_deepCleanTitle, ui->label_fullUninstallTitle})
        title->setFont(g_styleCommon.getFont(19));
    for (QLabel* text : {ui->label_quitCleanText, ui->label_deepCleanText, ui->label_fullUninstallText}) {
        text->setFont(g_styleCommon.getFont(11));
        text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    }
    for (QLabel* title : {ui->label_repairiDeviceDetection, ui->label_fixUpdateIssues, ui->label_repairRestoreError,
                          ui->label_fixOtheriTunes})
        title->setFont(g_styleCommon.getFont(15));

    // The tile picture shows behind the labels.
    for (QLabel* label : {ui->label_version, ui->label_quitCleanTitle, ui->label_quitCleanText,
                          ui->label_deepCleanTitle, ui->label_deepCleanText, ui->label_fullUninstallTitle,
                          ui->label_fullUninstallText, ui->label_repairiDeviceDetection, ui->label_fixUpdateIssues,
                          ui->label_repairRestoreError, ui->label_fixOtheriTunes})
        label->setAttribute(Qt::WA_TranslucentBackground);

    // Every tile starts with the normal title colour.
    SlotmouseLeaveQuickly();
    SlotmouseLeaveDeeply();
    SlotmouseLeaveCompletely();
    SlotmouseLeaveDetection();
    SlotmouseLeaveIssues();
    SlotmouseLeaveErrors();
    SlotmouseLeaveProblems();
}

void CFixiTunesHome::InitConnect() {
    connect(ui->widget_CleaniTunesQuickly, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotCleaniTunesQuickly);
    connect(ui->widget_CleaniTunesDeeply, &ZnStyleButtonWidget::clicked, this, &CFixiTunesHome::SlotCleaniTunesDeeply);
    connect(ui->widget_UninstalliTunesCompletely, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotUninstalliTunesCompletely);
    connect(ui->widget_RepairFailediDeviceDetection, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotRepairFailediDeviceDetection);
    connect(ui->widget_FixiTunesInstallUpdateIssues, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotFixiTunesInstallUpdateIssues);
    connect(ui->widget_RepairBackupRestoreErrors, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotRepairBackupRestoreErrors);
    connect(ui->widget_FixOtheriTunesProblems, &ZnStyleButtonWidget::clicked, this,
            &CFixiTunesHome::SlotFixOtheriTunesProblems);

    connect(ui->widget_CleaniTunesQuickly, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterQuickly);
    connect(ui->widget_CleaniTunesQuickly, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveQuickly);
    connect(ui->widget_CleaniTunesDeeply, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterDeeply);
    connect(ui->widget_CleaniTunesDeeply, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveDeeply);
    connect(ui->widget_UninstalliTunesCompletely, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterCompletely);
    connect(ui->widget_UninstalliTunesCompletely, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveCompletely);
    connect(ui->widget_RepairFailediDeviceDetection, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterDetection);
    connect(ui->widget_RepairFailediDeviceDetection, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveDetection);
    connect(ui->widget_FixiTunesInstallUpdateIssues, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterIssues);
    connect(ui->widget_FixiTunesInstallUpdateIssues, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveIssues);
    connect(ui->widget_RepairBackupRestoreErrors, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterErrors);
    connect(ui->widget_RepairBackupRestoreErrors, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveErrors);
    connect(ui->widget_FixOtheriTunesProblems, &ZnStyleButtonWidget::mouseEnter, this,
            &CFixiTunesHome::SlotmouseEnterProblems);
    connect(ui->widget_FixOtheriTunesProblems, &ZnStyleButtonWidget::mouseLeave, this,
            &CFixiTunesHome::SlotmouseLeaveProblems);
}

void CFixiTunesHome::SlotCleaniTunesQuickly() { emit SignalFixiTunesScene(kFixScene_QuickClean); }
void CFixiTunesHome::SlotCleaniTunesDeeply() { emit SignalFixiTunesScene(kFixScene_DeepClean); }
void CFixiTunesHome::SlotUninstalliTunesCompletely() { emit SignalFixiTunesScene(kFixScene_FullUninstall); }
void CFixiTunesHome::SlotRepairFailediDeviceDetection() { emit SignalFixiTunesScene(kFixScene_RepairDetection); }
void CFixiTunesHome::SlotFixiTunesInstallUpdateIssues() { emit SignalFixiTunesScene(kFixScene_RepairInstallUpdate); }
void CFixiTunesHome::SlotRepairBackupRestoreErrors() { emit SignalFixiTunesScene(kFixScene_RepairBackupRestore); }
void CFixiTunesHome::SlotFixOtheriTunesProblems() { emit SignalFixiTunesScene(kFixScene_RepairOther); }

void CFixiTunesHome::SlotmouseEnterQuickly() { ui->widget_CleaniTunesQuickly->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveQuickly() { ui->widget_CleaniTunesQuickly->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterDeeply() { ui->widget_CleaniTunesDeeply->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveDeeply() { ui->widget_CleaniTunesDeeply->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterCompletely() { ui->widget_UninstalliTunesCompletely->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveCompletely() { ui->widget_UninstalliTunesCompletely->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterDetection() { ui->widget_RepairFailediDeviceDetection->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveDetection() { ui->widget_RepairFailediDeviceDetection->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterIssues() { ui->widget_FixiTunesInstallUpdateIssues->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveIssues() { ui->widget_FixiTunesInstallUpdateIssues->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterErrors() { ui->widget_RepairBackupRestoreErrors->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveErrors() { ui->widget_RepairBackupRestoreErrors->setStyleSheet(kNormalSheet); }
void CFixiTunesHome::SlotmouseEnterProblems() { ui->widget_FixOtheriTunesProblems->setStyleSheet(kHoverSheet); }
void CFixiTunesHome::SlotmouseLeaveProblems() { ui->widget_FixOtheriTunesProblems->setStyleSheet(kNormalSheet); }
