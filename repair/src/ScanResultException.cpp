#include "repair/ScanResultException.h"

#include <QDebug>
#include <QTableWidgetItem>

#include "repair/ComponentStatus.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnSkinButtons.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CScanResultException.h"
#include "RepairLogging.h"

Q_LOGGING_CATEGORY(lcRepair, "corvane.repair")

namespace {
const QColor kRowTextColor(97, 108, 114, 255);
constexpr int kRowHeight = 34;
}  // namespace

CScanResultException::CScanResultException(QWidget* parent) : QWidget(parent), ui(new Ui::CScanResultException) {
    ui->setupUi(this);
    for (int row = ui->tableComponentList->rowCount() - 1; row >= 0; --row) ui->tableComponentList->removeRow(row);
    initStyle();
    m_nNextRow = 0;
    connect(ui->pushButton_BackHome, &QPushButton::clicked, this, &CScanResultException::SlotBackHome);
    connect(ui->pushButton_Fix, &QPushButton::clicked, this, &CScanResultException::SlotFixiTunes);
}

CScanResultException::~CScanResultException() { delete ui; }

void CScanResultException::initStyle() {
    const QString skin = g_styleCommon.getSkinPath();

    ui->label_itunesAbnormal->setPixmap(QPixmap(skin + QStringLiteral("/Application/itunes_abnormal.png")));

    ui->label_scanResultExceptionTitle->setFont(g_styleCommon.getFont(39));
    ui->label_scanResultExceptionTitle->setAttribute(Qt::WA_TranslucentBackground);
    ui->label_scanResultExceptionTitle->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));

    ui->label_scanResultExceptionText->setFont(g_styleCommon.getFont(19));
    ui->label_scanResultExceptionText->setAttribute(Qt::WA_TranslucentBackground);
    ui->label_scanResultExceptionText->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));

    setFilledButtonImages(ui->pushButton_Fix, skin);
    ui->pushButton_Fix->setFont(g_styleCommon.getFont(15));
    ui->pushButton_Fix->setAttribute(Qt::WA_TranslucentBackground);
    ui->pushButton_Fix->setStyleSheet(ZnStyleCommon::getColorStyleSheet(3));

    ui->pushButton_BackHome->setImages(skin + QStringLiteral("/button/back_button_normal.png"),
                                       skin + QStringLiteral("/button/back_button_hover.png"),
                                       skin + QStringLiteral("/button/back_button_pressing.png"),
                                       skin + QStringLiteral("/button/back_button_hover.png"));
    ui->pushButton_BackHome->setAttribute(Qt::WA_TranslucentBackground);

    QTableWidget* table = ui->tableComponentList;
    table->setColumnCount(3);
    auto* components = new QTableWidgetItem(tr("   Components"));
    components->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->setHorizontalHeaderItem(0, components);
    table->setHorizontalHeaderItem(1, new QTableWidgetItem(tr("Version")));
    table->setHorizontalHeaderItem(2, new QTableWidgetItem(tr("Status")));
}

void CScanResultException::LoadComponentData(const QVector<ST_ITUNES_CHECK_RESULT>& results) {
    qCDebug(lcRepair) << "nComponentCount====================================" << results.size();
    QTableWidget* table = ui->tableComponentList;

    for (const ST_ITUNES_CHECK_RESULT& record : results) {
        QString name = QString::fromStdWString(record.strName);
        const QString productName = QString::fromWCharArray(GetiTunesProductName(record.product));
        qCDebug(lcRepair) << "strName==========" << name << "itunesProduct==========" << productName
                          << "damageFile.size======" << record.vecDamageFile.size();

        table->insertRow(m_nNextRow);
        table->setFont(g_styleCommon.getFont(11));

        if (name.isEmpty()) name = productName;
        auto* nameItem = new QTableWidgetItem(QStringLiteral("   ") + name);
        nameItem->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        nameItem->setForeground(kRowTextColor);
        table->setItem(m_nNextRow, 0, nameItem);

        auto* versionItem = new QTableWidgetItem(QString::fromStdWString(record.strVersion));
        versionItem->setTextAlignment(Qt::AlignCenter);
        versionItem->setForeground(kRowTextColor);
        table->setItem(m_nNextRow, 1, versionItem);

        auto* status = new CComponentStatus(table);
        status->SetStatus(record.product, record.status);
        connect(status, &CComponentStatus::SignalOpenExceptionListDialog, this,
                &CScanResultException::SlotExceptionListDialog);
        table->setCellWidget(m_nNextRow, 2, status);

        table->setRowHeight(m_nNextRow, kRowHeight);
        if (m_nNextRow == 0) table->selectRow(0);
        ++m_nNextRow;
    }

    table->setColumnWidth(0, 210);
    table->setColumnWidth(1, 105);
    table->setColumnWidth(2, 105);
}

void CScanResultException::SlotExceptionListDialog(int componentType) {
    qCDebug(lcRepair) << "CSanResultException::SlotExceptionListDialog=====================" << componentType;
    emit SignalShowComponentDamageListDialog(componentType);
}

void CScanResultException::SlotBackHome() {
    ZnMessageBox box(tr("If you go back, the scanning result won't be saved. Are you sure you want to go back? "),
                     QString(), ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, this);
    box.exec();
    if (box.getResult() == ZnMessageBoxButton::Yes) emit SignalBackHome();
}

void CScanResultException::SlotFixiTunes() { emit SignalFixiTunes(); }
