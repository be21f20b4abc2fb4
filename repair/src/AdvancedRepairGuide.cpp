#include "repair/AdvancedRepairGuide.h"

#include <QPixmap>

#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "ui_CAdvancedRepairGuide.h"

CAdvancedRepairGuide::CAdvancedRepairGuide(QWidget* parent) : QWidget(parent), ui(new Ui::CAdvancedRepairGuide) {
    ui->setupUi(this);
    m_strSkinPath = QString::fromStdString(GetSkinPath());
    initStyle();
    m_bDeleteUserData = false;

    connect(ui->pushButton_backHome, &QPushButton::clicked, this, &CAdvancedRepairGuide::SlotBackHome);
    connect(ui->pushButton_quickScan, &QPushButton::clicked, this, &CAdvancedRepairGuide::SlotCleaniTunesQuickly);
    connect(ui->pushButton_deepScan, &QPushButton::clicked, this, &CAdvancedRepairGuide::SlotCleaniTunesDeeply);
    connect(ui->pushButton_uninstall, &QPushButton::clicked, this,
            &CAdvancedRepairGuide::SlotUninstalliTunesCompletely);
    connect(ui->pushButton_repair, &QPushButton::clicked, this, &CAdvancedRepairGuide::SlotRepairiTunes);
    connect(ui->checkBox_deleteUserData, &QCheckBox::stateChanged, this,
            &CAdvancedRepairGuide::SlotCheckBoxStateChanged);
}

CAdvancedRepairGuide::~CAdvancedRepairGuide() { delete ui; }

void CAdvancedRepairGuide::initStyle() {
    const QString& skin = m_strSkinPath;

    // The form's frames only group texts and buttons. They are raised styled
    // panels, which the Windows styles leave undrawn but this platform's style
    // outlines: draw them without a frame.
    for (QFrame* frame : {ui->frame, ui->frame_2}) frame->setFrameShape(QFrame::NoFrame);

    ui->label_title->setFont(g_styleCommon.getFont(39));
    ui->label_title->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->label_text->setFont(g_styleCommon.getFont(19));
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));

    ui->checkBox_deleteUserData->setFont(g_styleCommon.getFont(15));
    setCheckBoxIndicatorStyle(ui->checkBox_deleteUserData, skin);

    ui->labelCheckDelData->setFont(g_styleCommon.getFont(15));
    ui->labelCheckDelData->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));

    const QString normal = skin + QStringLiteral("/button/button110_34normal2.png");
    const QString hover = skin + QStringLiteral("/button/button110_34hover.png");
    const QString pressed = skin + QStringLiteral("/button/button110_34pressing.png");
    const QString disabled = skin + QStringLiteral("/button/button110_34disable.png");
    for (ZnStyleButton* scan : {ui->pushButton_quickScan, ui->pushButton_deepScan}) {
        scan->setFont(g_styleCommon.getFont(15));
        scan->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
        scan->setImages(normal, hover, pressed, pressed);
    }
    for (ZnStyleButton* action : {ui->pushButton_uninstall, ui->pushButton_repair}) {
        action->setFont(g_styleCommon.getFont(15));
        action->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
        action->setImages(normal, hover, pressed, disabled);
    }

    ui->pushButton_backHome->setFont(g_styleCommon.getFont(15));
    ui->pushButton_backHome->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    ui->pushButton_backHome->setImages(skin + QStringLiteral("/button/back_button_normal.png"),
                                       skin + QStringLiteral("/button/back_button_hover.png"),
                                       skin + QStringLiteral("/button/back_button_pressing.png"),
                                       skin + QStringLiteral("/button/back_button_hover.png"));
}

void CAdvancedRepairGuide::showScene(const QString& picture, const QString& title, const QString& description) {
    ui->label_image->setPixmap(QPixmap(m_strSkinPath + picture));
    ui->label_title->setText(title);
    ui->label_text->setText(
        tr("<html><head/><body><p style=\"height:16px;line-height:24px;color:#787878\"> %1</p></body></html>")
            .arg(description));
    ui->pushButton_quickScan->hide();
    ui->pushButton_deepScan->hide();
    ui->pushButton_uninstall->hide();
    ui->pushButton_repair->hide();
    ui->checkBox_deleteUserData->hide();
    ui->labelCheckDelData->hide();
}

void CAdvancedRepairGuide::SetFixScene(int scene) {
    m_eFixScene = static_cast<enumFixScene>(scene);
    switch (scene) {
    case kFixScene_QuickClean:
        showScene(QStringLiteral("/viewPng/quicklyClean.png"), tr("Quickly Clean iTunes"),
                  QStringLiteral("One click to release iTunes space and optimize iTunes performance."));
        ui->pushButton_quickScan->show();
        break;
    case kFixScene_DeepClean:
        showScene(QStringLiteral("/viewPng/deeplyClean.png"), tr("Deeply Clean iTunes"),
                  QStringLiteral("Deep cleanup of iTunes cleans all iTunes data and also backups created by "
                                 "3rd-party software."));
        ui->pushButton_deepScan->show();
        break;
    case kFixScene_FullUninstall:
        showScene(QStringLiteral("/viewPng/completelyUninstall.png"), tr("Completely Uninstall iTunes"),
                  QStringLiteral("Thorough uninstallation of iTunes will remove iTunes and related software "
                                 "components from your computer."));
        ui->pushButton_uninstall->show();
        ui->checkBox_deleteUserData->setCheckState(Qt::Unchecked);
        m_bDeleteUserData = false;
        ui->checkBox_deleteUserData->show();
        ui->labelCheckDelData->show();
        break;
    case kFixScene_RepairDetection:
        showScene(QStringLiteral("/viewPng/failedDeviceDetection.png"), tr("Repair iTunes Connect Issues"),
                  QStringLiteral("Fix iTunes cannot recogize your device for error OxE, invalid response, missing "
                                 "value, or other unknown errors."));
        ui->pushButton_repair->show();
        break;
    case kFixScene_RepairInstallUpdate:
        showScene(QStringLiteral("/viewPng/installUpdateLssues.png"), tr("Fix iTunes Install/Update Issues"),
                  QStringLiteral("Repair all the issues related to iTunes installation or updates, for example, "
                                 "iTunes/Helper was not installed correctly, service failed to start, installer "
                                 "has insufficient privileges, etc."));
        ui->pushButton_repair->show();
        break;
    case kFixScene_RepairBackupRestore:
        showScene(QStringLiteral("/viewPng/backupRestoreErrors.png"), tr("Repair Backup/Restore Errors"),
                  QStringLiteral("Had issues when you tried to back up your device or restore backup? Don't worry, "
                                 "click \"Repair\" to fix all the errors or unknown problems occurred."));
        ui->pushButton_repair->show();
        break;
    case kFixScene_RepairOther:
        showScene(QStringLiteral("/viewPng/otherItunesProblem.png"), tr("Fix Other iTunes Problems"),
                  QStringLiteral("If your iTunes runs abnormally or you would like to have a better experience "
                                 "with iTunes, click \"Repair\" to optimize your iTunes."));
        ui->pushButton_repair->show();
        break;
    default: break;
    }
}

enumFixScene CAdvancedRepairGuide::GetFixScene() const { return m_eFixScene; }

int CAdvancedRepairGuide::GetRepairScene() const {
    switch (m_eFixScene) {
    case kFixScene_RepairDetection:
    case kFixScene_RepairInstallUpdate:
    case kFixScene_RepairBackupRestore:
    case kFixScene_RepairOther: return m_eFixScene;
    default: return 0;
    }
}

bool CAdvancedRepairGuide::IsDeleteUserData() const { return m_bDeleteUserData; }

void CAdvancedRepairGuide::SlotBackHome() { emit SignalBackHome(); }

void CAdvancedRepairGuide::SlotCleaniTunesQuickly() { emit SignalCleaniTunesQuickly(); }

void CAdvancedRepairGuide::SlotCleaniTunesDeeply() { emit SignalCleaniTunesDeeply(); }

void CAdvancedRepairGuide::SlotUninstalliTunesCompletely() { emit SignalCompletelyUninstalliTunes(); }

void CAdvancedRepairGuide::SlotRepairiTunes() { emit SignalRepairiTunes(true); }

void CAdvancedRepairGuide::SlotCheckBoxStateChanged(int nState) { m_bDeleteUserData = (nState == Qt::Checked); }
