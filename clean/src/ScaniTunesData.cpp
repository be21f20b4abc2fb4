#include "clean/ScaniTunesData.h"

#include <QDebug>
#include <QHeaderView>
#include <QMovie>
#include <QTableWidgetItem>
#include <QTimer>

#include "clean/CheckBoxWidget.h"
#include "CleanSkin.h"
#include "gateway/Controller.h"
#include "clean/FileSize.h"
#include "clean/SubUserDataCheckBox.h"
#include "clean/TableCheckBox.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CScaniTunesData.h"

namespace {

constexpr int kCategoryRowHeight = 71;
constexpr int kDetailRowHeight = 40;
constexpr int kLoadInterval = 1000;

}  // namespace

CScaniTunesData::CScaniTunesData(QWidget* parent) : QWidget(parent), ui(new Ui::CScaniTunesData) {
    ui->setupUi(this);
    m_strSkinPath = clean::skinFolder();
    initStyle();
    initTables();

    ui->pushButton_Back->hide();
    ui->pushButton_Clean->setEnabled(false);

    initCategoryTable();

    m_pLoadTimer = new QTimer(this);

    // The select-all box stands over the category table's header.
    m_pAllCheckBox = new CCheckBoxWidget(ui->tableFirstLevelDirList);
    m_pAllCheckBox->setGeometry(80, 12, 140, 14);
    m_pAllCheckBox->setEnabled(false);
    connect(m_pAllCheckBox, &CCheckBoxWidget::SignalClickedCheckBox, this, &CScaniTunesData::SlotSetAlliTunesCheckBox);

    connect(ui->pushButton_Back, &QPushButton::clicked, this, &CScaniTunesData::SlotBackHome);
    connect(ui->pushButton_Clean, &QPushButton::clicked, this, &CScaniTunesData::SlotCleaniTunesUserData);
    connect(ui->pushButton_stop, &QPushButton::clicked, this, &CScaniTunesData::SlotStopScaniTunesUserData);
    connect(ui->tableFirstLevelDirList, &QTableWidget::cellClicked, this, &CScaniTunesData::SlotCellClicked);
    connect(m_pLoadTimer, &QTimer::timeout, this, &CScaniTunesData::SlotLoadiTunesUserData);

    SlotShowMediaFilesData();
}

CScaniTunesData::~CScaniTunesData() { delete ui; }

void CScaniTunesData::initStyle() {
    ui->label->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label->setFont(g_styleCommon.getFont(23));
    ui->label_scanTip->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_scanTip->setFont(g_styleCommon.getFont(19));
    ui->label_freeSize->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->label_freeSize->setFont(g_styleCommon.getFont(23));
    ui->label_freeMolecular->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->label_freeMolecular->setFont(g_styleCommon.getFont(15));
    ui->label_fraction->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_fraction->setFont(g_styleCommon.getFont(15));
    ui->label_totalDenominator->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_totalDenominator->setFont(g_styleCommon.getFont(15));

    ui->pushButton_Clean->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));
    ui->pushButton_Clean->setFont(g_styleCommon.getFont(15));
    setFilledButtonImages(ui->pushButton_Clean, m_strSkinPath);
    ui->pushButton_Back->setImages(m_strSkinPath + QStringLiteral("/button/back_button_normal.png"),
                                   m_strSkinPath + QStringLiteral("/button/back_button_hover.png"),
                                   m_strSkinPath + QStringLiteral("/button/back_button_pressing.png"),
                                   m_strSkinPath + QStringLiteral("/button/back_button_normal.png"));

    ui->pushButton_stop->setFont(g_styleCommon.getFont(15));
    setOutlineButtonStyle(ui->pushButton_stop, m_strSkinPath, QStringLiteral("button100_30"));

    ui->widgetProgressBar->SetProgressBarWidth(650);
    ui->widgetProgressBar->SetLabelWidth(36);

    ui->label->setText(tr("more can be freed up:"));
    ui->label_scanTip->setText(tr("Scanning iTunes, please wait..."));
    ui->pushButton_stop->setText(tr("Stop"));
    ui->pushButton_Clean->setText(tr("Clean"));
}

void CScaniTunesData::initTables() {
    struct Detail {
        QTableWidget* table;
        QStringList headers;
        int rows;
    };
    const Detail details[] = {
        {ui->tableMediaFileSecondLevelDirList, {tr("Type"), tr("Size")}, 11},
        {ui->tableiOSBackupFileSecondLevelDirList, {tr("Device Name"), tr("Backup Time"), tr("Size")}, 0},
        {ui->tableUpdateFileSecondLevelDirList, {tr("Type"), tr("Size")}, 2},
        {ui->tableOtherFileSecondLevelDirList, {tr("Type"), tr("Size")}, 5},
    };
    for (const Detail& d : details) {
        d.table->setColumnCount(d.headers.size());
        d.table->setHorizontalHeaderLabels(d.headers);
        d.table->setRowCount(d.rows);
        d.table->setShowGrid(false);
        d.table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        d.table->horizontalHeader()->setStretchLastSection(true);
        d.table->horizontalHeader()->setMinimumHeight(40);
        d.table->verticalHeader()->setDefaultSectionSize(kDetailRowHeight);
        // Header texts start where the names and sizes of the rows start.
        d.table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        d.table->horizontalHeader()->setStyleSheet(d.table->horizontalHeader()->styleSheet() +
                                                   QStringLiteral("QHeaderView::section { padding-left: 10px; }"));
    }
    // The backup times are centred in their column, and so is their heading.
    if (QTableWidgetItem* heading = ui->tableiOSBackupFileSecondLevelDirList->horizontalHeaderItem(1))
        heading->setTextAlignment(Qt::AlignCenter);
}

void CScaniTunesData::initCategoryTable() {
    QTableWidget* table = ui->tableFirstLevelDirList;
    table->setColumnCount(1);
    table->setRowCount(4);
    table->setHorizontalHeaderLabels({QString()});
    table->horizontalHeader()->setMinimumHeight(40);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setShowGrid(false);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int row = 0; row < 4; ++row) {
        auto* category = new CTableCheckBox;
        category->SetUserDataType(row + 1);
        connect(category, &CTableCheckBox::SignalCheckBoxClicked, this, &CScaniTunesData::SlotCheckAllTypeFileCheckBox);
        table->setCellWidget(row, 0, category);
        table->setRowHeight(row, kCategoryRowHeight);
        m_listCategoryRows.append(category);
    }
    table->selectRow(0);
}

void CScaniTunesData::rebuildSubTypeTable(QTableWidget* table, QList<CSubUserDataCheckBox*>& rows, int firstSubType,
                                          int lastSubType, void (CScaniTunesData::*slot)(int, bool, qlonglong)) {
    rows.clear();
    for (int subType = firstSubType; subType <= lastSubType; ++subType) {
        const int row = subType - firstSubType;
        auto* box = new CSubUserDataCheckBox;
        box->SetSubUserDataType(subType);
        connect(box, &CSubUserDataCheckBox::SignalCheckBoxClicked, this, slot);
        // setCellWidget disposes of the widget the cell held before.
        table->setCellWidget(row, 0, box);
        rows.append(box);

        auto* size = new CFileSize;
        size->SetSubUserDataType(subType);
        size->SetFileSize(0);
        table->setCellWidget(row, 1, size);
        m_listFileSize.append(size);

        table->setRowHeight(row, kDetailRowHeight);
    }
    table->selectRow(0);
}

void CScaniTunesData::InitScanView(int scene) {
    ui->widget_ScanProgress->setFixedHeight(80);
    m_nScene = scene;

    ui->pushButton_stop->show();
    ui->label_scanTip->setText(tr("Scanning iTunes, please wait..."));
    if (scene == 0) {
        ui->widgetProgressBar->hide();
        ui->label_gif->show();
        showAnimation();
    } else {
        ui->label_gif->hide();
        if (m_pMovie) m_pMovie->stop();
        ui->widgetProgressBar->SetProgressValue(0);
        ui->widgetProgressBar->show();
    }

    m_nFileTotal = 0;
    m_nLoadCurrentUserDataItem = 0;
    m_nNextBackupRow = 0;
    m_nSizedCategoryRows = 0;
    m_nSizedMediaRows = 0;
    m_nSizedBackupRows = 0;
    m_nSizedUpdateRows = 0;
    m_nSizedOtherRows = 0;
    m_bScanFinished = false;
    showSizeInAllLabels(QStringLiteral("0GB"));

    ui->pushButton_Clean->setEnabled(false);
    m_pAllCheckBox->SetChecked(false);
    m_pAllCheckBox->setEnabled(false);

    // A category box stays unclickable until the scan has ended and its row
    // holds data: clicked in between it would show a category unchecked while
    // its rows (checked by their sizes) still go to the clean.
    for (CTableCheckBox* category : m_listCategoryRows) {
        category->SetFileSize(0);
        category->SetCheckBoxEnabled(false);
    }

    // Every cell of the detail tables is made anew or deleted by its table
    // below, so no widget of an earlier scan may stay in a list.
    m_listFileSize.clear();
    m_listBackupRows.clear();
    rebuildSubTypeTable(ui->tableMediaFileSecondLevelDirList, m_listMediaRows, kItunesUserDataSubType_Music,
                        kItunesUserDataSubType_Downloads, &CScaniTunesData::SlotCheckMediaFilesData);
    ui->tableiOSBackupFileSecondLevelDirList->clearContents();
    rebuildSubTypeTable(ui->tableUpdateFileSecondLevelDirList, m_listUpdateRows,
                        kItunesUserDataSubType_iTunesUpdateFiles, kItunesUserDataSubType_iOSUpdateFiles,
                        &CScaniTunesData::SlotCheckSoftwareUpdateFilesData);
    rebuildSubTypeTable(ui->tableOtherFileSecondLevelDirList, m_listOtherRows, kItunesUserDataSubType_MobileApps,
                        kItunesUserDataSubType_OtherJunkFiles, &CScaniTunesData::SlotCheckOtherFileData);
}

void CScaniTunesData::StartLoadTimer() {
    if (m_pLoadTimer) m_pLoadTimer->start(kLoadInterval);
}

void CScaniTunesData::GetUserDataSubTypeList(std::vector<int>& subTypes) {
    for (const QList<CSubUserDataCheckBox*>* rows : {&m_listMediaRows, &m_listUpdateRows, &m_listOtherRows}) {
        for (CSubUserDataCheckBox* row : *rows) {
            if (row->IsChecked()) subTypes.push_back(row->GetSubUserDataType());
        }
    }
}

void CScaniTunesData::GetBackupIdList(std::vector<int>& backupIds) {
    for (CSubUserDataCheckBox* row : m_listBackupRows) {
        if (row->IsChecked()) backupIds.push_back(row->GetId());
    }
}

void CScaniTunesData::SlotLoadiTunesUserData() {
    if (m_bScanFinished || !g_pController) return;
    const int count = g_pController->GetUserDataItemCount();
    if (count <= 0) return;

    for (; m_nLoadCurrentUserDataItem < count; ++m_nLoadCurrentUserDataItem) {
        const auto item = g_pController->GetUserDataItem(m_nLoadCurrentUserDataItem);
        if (item) loadUserDataItem(*item);
    }
    showSizeInAllLabels(ZnStyleCommon::formatFileSize(m_nFileTotal));

    const auto last = g_pController->GetUserDataItem(count - 1);
    if (last) showScanProgress(*last);
}

void CScaniTunesData::showScanProgress(const ST_ITUNES_USERDATA_ITEM& item) {
    // The engine may hand out items without its counters, and a total of 0
    // (or less) has no fraction: the bar then keeps its value.
    if (!item.pScanCount) return;
    const int current = item.pScanCount->nCurrentScanDirCount;
    const int total = item.pScanCount->nDeepScanTotalDirCount;
    if (total <= 0) return;
    const double percent = double(current) / double(total) * 100.0;
    if (!(percent >= 0.0 && percent < 100.0)) return;
    ui->widgetProgressBar->SetProgressValue(static_cast<int>(percent));
}

void CScaniTunesData::loadUserDataItem(const ST_ITUNES_USERDATA_ITEM& item) {
    for (CTableCheckBox* category : m_listCategoryRows) {
        if (category->GetUserDataType() != item.type) continue;
        category->SetFileSize(item.type == kItunesUserDataType_iOSBackup ? item.size : item.categorySize);
    }
    m_nFileTotal = 0;
    for (CTableCheckBox* category : m_listCategoryRows) m_nFileTotal += category->GetFileSize();

    if (item.type == kItunesUserDataType_iOSBackup) {
        LoadiOSBackupsFilesData(item);
        return;
    }
    QList<CSubUserDataCheckBox*>* rows = rowsOfCategory(item.type);
    if (!rows) return;
    // Only a subtype that has a row in its category's table is shown, so that
    // a size is never shown beside a row that is not part of the request.
    for (CSubUserDataCheckBox* row : *rows) {
        if (row->GetSubUserDataType() != item.subType) continue;
        for (CFileSize* cell : m_listFileSize) {
            if (cell->GetSubUserDataType() == item.subType) {
                cell->SetFileSize(item.size);
                break;
            }
        }
        row->SetFileSize(item.size);
        break;
    }
}

void CScaniTunesData::LoadiOSBackupsFilesData(const ST_ITUNES_USERDATA_ITEM& item) {
    const ST_ITUNES_BACKUP_INFO& info = item.stBackupInfo;
    QTableWidget* table = ui->tableiOSBackupFileSecondLevelDirList;
    const int row = m_nNextBackupRow;
    table->insertRow(row);

    QString name = QString::fromStdWString(info.strName);
    if (name.isEmpty()) name = tr("Unknown");
    auto* box = new CSubUserDataCheckBox;
    box->SetSubUserDataType(kItunesUserDataSubType_iOSBackup);
    box->SetId(info.id, name);
    box->SetFileSize(info.dirSize);
    m_listBackupRows.append(box);
    connect(box, &CSubUserDataCheckBox::SignalCheckBoxClicked, this, &CScaniTunesData::SlotCheckiOSBackupsFilesData);
    table->setCellWidget(row, 0, box);
    table->setRowHeight(row, kDetailRowHeight);

    QString time = QString::fromStdWString(info.strTime);
    time.remove(QLatin1Char('T'));
    time.remove(QLatin1Char('Z'));
    auto* timeItem = new QTableWidgetItem(time);
    timeItem->setTextAlignment(Qt::AlignCenter);
    table->setItem(row, 1, timeItem);

    auto* size = new CFileSize;
    size->SetSubUserDataType(kItunesUserDataSubType_iOSBackup);
    size->SetFileSize(info.dirSize);
    m_listFileSize.append(size);
    table->setCellWidget(row, 2, size);

    if (row == 0) table->selectRow(0);
    ++m_nNextBackupRow;
}

void CScaniTunesData::SlotScaniTunesUserDataFinished() {
    // The end of a scan is taken once; the selection the user makes afterwards
    // is not reset by a repeated report.
    if (m_bScanFinished) return;

    if (m_nScene == 1) {
        ui->widgetProgressBar->StopTimer();
    } else if (m_pMovie) {
        m_pMovie->stop();
    }
    m_pLoadTimer->stop();

    SlotLoadiTunesUserData();
    m_bScanFinished = true;

    m_nFileTotal = 0;
    m_nSizedCategoryRows = 0;
    for (CTableCheckBox* category : m_listCategoryRows) {
        if (category->GetFileSize() <= 0) continue;
        ++m_nSizedCategoryRows;
        category->SetCheckBoxEnabled(true);
        m_nFileTotal += category->GetFileSize();
    }
    struct Detail {
        QList<CSubUserDataCheckBox*>* rows;
        int* sized;
    };
    for (const Detail& d :
         {Detail{&m_listMediaRows, &m_nSizedMediaRows}, Detail{&m_listBackupRows, &m_nSizedBackupRows},
          Detail{&m_listUpdateRows, &m_nSizedUpdateRows}, Detail{&m_listOtherRows, &m_nSizedOtherRows}}) {
        *d.sized = 0;
        for (CSubUserDataCheckBox* row : *d.rows) {
            if (row->GetFileSize() <= 0) continue;
            ++*d.sized;
            row->SetCheckBoxEnabled(true);
        }
    }

    ui->widget_ScanProgress->setFixedHeight(0);

    if (m_nFileTotal <= 0) {
        ui->pushButton_Clean->setEnabled(false);
        m_pAllCheckBox->setEnabled(false);
        showSizeInAllLabels(QStringLiteral("0GB"));
    } else {
        ui->pushButton_Clean->setEnabled(true);
        m_pAllCheckBox->setEnabled(true);
        m_pAllCheckBox->SetChecked(true);
        showSizeInAllLabels(ZnStyleCommon::formatFileSize(m_nFileTotal));
    }

    SlotTableWidgetSort();

    ui->pushButton_Back->show();
    update();
}

void CScaniTunesData::SlotTableWidgetSort() {
    if (!m_listBackupRows.isEmpty()) {
        QTableWidget* table = ui->tableiOSBackupFileSecondLevelDirList;
        table->sortItems(1, Qt::DescendingOrder);
        // The cells move with their rows; the row list follows the new order.
        m_listBackupRows.clear();
        for (int row = 0; row < table->rowCount(); ++row) {
            if (auto* box = qobject_cast<CSubUserDataCheckBox*>(table->cellWidget(row, 0)))
                m_listBackupRows.append(box);
        }
        table->selectRow(0);
    }
    for (int row = 0; row < m_listCategoryRows.size(); ++row) {
        if (m_listCategoryRows.at(row)->GetFileSize() <= 0) continue;
        SlotCellClicked(row, 1);
        ui->tableFirstLevelDirList->selectRow(row);
        break;
    }
}

void CScaniTunesData::SlotStopScaniTunesUserDataFinished() {
    if (m_pMovie) m_pMovie->stop();
    m_pLoadTimer->stop();
    emit SignalStopScaniTunesUserDataFinished();
}

bool CScaniTunesData::confirmStop() {
    // The box is kept for the life of the page.
    if (!m_pStopBox) {
        m_pStopBox = new ZnMessageBox(tr("If you stop, no data will be scanned. Are you sure you want to stop?"),
                                      tr("Note"), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    }
    m_pStopBox->exec();
    return m_pStopBox->getResult() == ZnMessageBoxButton::Yes;
}

void CScaniTunesData::SlotStopScaniTunesUserData() {
    if (!confirmStop()) return;
    emit SignalStopScaniTunesUserData();

    ui->pushButton_stop->hide();
    ui->label_scanTip->setText(tr("Cancelling, please wait..."));
    ui->widgetProgressBar->hide();
    ui->label_gif->show();
    showAnimation();
}

void CScaniTunesData::showAnimation() {
    QMovie* previous = m_pMovie;
    m_pMovie = new QMovie(m_strSkinPath + QStringLiteral("/gif/scanProgressBar700.gif"), QByteArray(), this);
    ui->label_gif->setMovie(m_pMovie);
    m_pMovie->start();
    delete previous;
}

void CScaniTunesData::SlotBackHome() {
    ZnMessageBox box(tr("If you go back, the scanning result won't be saved. Are you sure you want to go back?"),
                     tr("Note"), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    box.exec();
    if (box.getResult() == ZnMessageBoxButton::Yes) emit SignalBackHome();
}

void CScaniTunesData::SlotCleaniTunesUserData() { emit SignalCleaniTunesUserData(); }

void CScaniTunesData::SlotCellClicked(int row, int) {
    switch (row) {
    case 0: SlotShowMediaFilesData(); break;
    case 1: SlotShowiOSBackupsFilesData(); break;
    case 2: SlotShowSoftwareUpdateFilesData(); break;
    case 3: SlotShowOtherFileData(); break;
    default: break;
    }
}

void CScaniTunesData::showDetailTable(QTableWidget* shown) {
    for (QTableWidget* table : {ui->tableMediaFileSecondLevelDirList, ui->tableiOSBackupFileSecondLevelDirList,
                                ui->tableUpdateFileSecondLevelDirList, ui->tableOtherFileSecondLevelDirList}) {
        table->setVisible(table == shown);
    }
}

void CScaniTunesData::SlotShowMediaFilesData() { showDetailTable(ui->tableMediaFileSecondLevelDirList); }
void CScaniTunesData::SlotShowiOSBackupsFilesData() { showDetailTable(ui->tableiOSBackupFileSecondLevelDirList); }
void CScaniTunesData::SlotShowSoftwareUpdateFilesData() { showDetailTable(ui->tableUpdateFileSecondLevelDirList); }
void CScaniTunesData::SlotShowOtherFileData() { showDetailTable(ui->tableOtherFileSecondLevelDirList); }

QList<CSubUserDataCheckBox*>* CScaniTunesData::rowsOfCategory(int category) {
    switch (category) {
    case kItunesUserDataType_Media: return &m_listMediaRows;
    case kItunesUserDataType_iOSBackup: return &m_listBackupRows;
    case kItunesUserDataType_UpdateFiles: return &m_listUpdateRows;
    case kItunesUserDataType_OtherData: return &m_listOtherRows;
    default: return nullptr;
    }
}

int CScaniTunesData::sizedRowsOfCategory(int category) const {
    switch (category) {
    case kItunesUserDataType_Media: return m_nSizedMediaRows;
    case kItunesUserDataType_iOSBackup: return m_nSizedBackupRows;
    case kItunesUserDataType_UpdateFiles: return m_nSizedUpdateRows;
    case kItunesUserDataType_OtherData: return m_nSizedOtherRows;
    default: return 0;
    }
}

void CScaniTunesData::checkDetailRow(int category, int key, bool isCheck) {
    if (!m_bScanFinished) return;
    const QList<CSubUserDataCheckBox*>* rows = rowsOfCategory(category);
    if (!rows) return;

    int checked = 0;
    int unchecked = 0;
    bool counted = false;
    for (CSubUserDataCheckBox* row : *rows) {
        if (row->GetFileSize() <= 0) continue;
        if (row->IsChecked())
            ++checked;
        else
            ++unchecked;
        const int rowKey = category == kItunesUserDataType_iOSBackup ? row->GetId() : row->GetSubUserDataType();
        if (!counted && rowKey == key) {
            m_nFileTotal += isCheck ? row->GetFileSize() : -row->GetFileSize();
            counted = true;
        }
    }

    const int sized = sizedRowsOfCategory(category);
    Qt::CheckState state = Qt::Unchecked;
    if (checked == sized)
        state = Qt::Checked;
    else if (unchecked != sized)
        state = Qt::PartiallyChecked;
    m_listCategoryRows.at(category - 1)->SetCheckState(state);

    updateAllCheckBoxAndClean();
    showSelectedSize();
}

void CScaniTunesData::SlotCheckMediaFilesData(int subType, bool isCheck, qlonglong) {
    checkDetailRow(kItunesUserDataType_Media, subType, isCheck);
}

void CScaniTunesData::SlotCheckiOSBackupsFilesData(int backupId, bool isCheck, qlonglong) {
    checkDetailRow(kItunesUserDataType_iOSBackup, backupId, isCheck);
}

void CScaniTunesData::SlotCheckSoftwareUpdateFilesData(int subType, bool isCheck, qlonglong) {
    checkDetailRow(kItunesUserDataType_UpdateFiles, subType, isCheck);
}

void CScaniTunesData::SlotCheckOtherFileData(int subType, bool isCheck, qlonglong) {
    checkDetailRow(kItunesUserDataType_OtherData, subType, isCheck);
}

void CScaniTunesData::SlotCheckAllTypeFileCheckBox(int type, bool isCheck, qlonglong) {
    if (!m_bScanFinished) return;
    if (QList<CSubUserDataCheckBox*>* rows = rowsOfCategory(type)) {
        for (CSubUserDataCheckBox* row : *rows) {
            if (row->GetFileSize() <= 0) continue;
            if (isCheck && !row->IsChecked())
                m_nFileTotal += row->GetFileSize();
            else if (!isCheck && row->IsChecked())
                m_nFileTotal -= row->GetFileSize();
            row->SetChecked(isCheck);
        }
    }
    updateAllCheckBoxAndClean();
    showSelectedSize();
}

void CScaniTunesData::SlotSetAlliTunesCheckBox(bool isCheck) {
    if (!m_bScanFinished) return;
    m_nFileTotal = 0;
    m_pAllCheckBox->SetChecked(isCheck);
    for (CTableCheckBox* category : m_listCategoryRows) {
        if (category->GetFileSize() <= 0) continue;
        category->SetCheckState(isCheck ? Qt::Checked : Qt::Unchecked);
        if (isCheck) m_nFileTotal += category->GetFileSize();
    }
    for (QList<CSubUserDataCheckBox*>* rows :
         {&m_listMediaRows, &m_listBackupRows, &m_listUpdateRows, &m_listOtherRows}) {
        for (CSubUserDataCheckBox* row : *rows) {
            if (row->GetFileSize() > 0) row->SetChecked(isCheck);
        }
    }
    showSelectedSize();
    ui->pushButton_Clean->setEnabled(m_nFileTotal > 0);
}

void CScaniTunesData::updateAllCheckBoxAndClean() {
    int checked = 0;
    int unchecked = 0;
    for (CTableCheckBox* category : m_listCategoryRows) {
        if (category->GetFileSize() <= 0) continue;
        if (category->GetCheckState() == Qt::Checked)
            ++checked;
        else if (category->GetCheckState() == Qt::Unchecked)
            ++unchecked;
    }
    if (checked == m_nSizedCategoryRows) {
        m_pAllCheckBox->SetCheckState(Qt::Checked);
        ui->pushButton_Clean->setEnabled(true);
    } else if (unchecked != m_nSizedCategoryRows) {
        m_pAllCheckBox->SetCheckState(Qt::PartiallyChecked);
        ui->pushButton_Clean->setEnabled(true);
    } else {
        m_pAllCheckBox->SetCheckState(Qt::Unchecked);
        ui->pushButton_Clean->setEnabled(false);
    }
}

void CScaniTunesData::showSelectedSize() {
    const QString text = ZnStyleCommon::formatFileSize(m_nFileTotal);
    ui->label_freeSize->setText(text);
    ui->label_freeMolecular->setText(text);
}

void CScaniTunesData::showSizeInAllLabels(const QString& text) {
    ui->label_freeSize->setText(text);
    ui->label_freeMolecular->setText(text);
    ui->label_totalDenominator->setText(text);
}
