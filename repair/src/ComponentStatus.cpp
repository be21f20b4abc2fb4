#include "repair/ComponentStatus.h"

#include "SorvelInterface.h"
#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleButton.h"
#include "ui_CComponentStatus.h"

CComponentStatus::CComponentStatus(QWidget* parent) : QWidget(parent), ui(new Ui::CComponentStatus) {
    ui->setupUi(this);
    m_strSkinPath = QString::fromStdString(GetSkinPath());
    initStyle();
    connect(ui->pushButton_Exception, &QPushButton::clicked, this, &CComponentStatus::SlotOpenExceptionListDialog);
}

CComponentStatus::~CComponentStatus() { delete ui; }

void CComponentStatus::initStyle() {
    const QString damage = m_strSkinPath + QStringLiteral("/Application/iTunesComponentDamage.png");
    const QString mark = m_strSkinPath + QStringLiteral("/Application/iTunesExceptionFileMark.png");
    ui->pushButton_Status->setImages(damage, damage, damage, QString());
    ui->pushButton_Exception->setImages(mark, mark, mark, QString());

    ui->pushButton_Status->setFixedSize(14, 14);
    ui->pushButton_Exception->setFixedSize(14, 14);
    ui->pushButton_Status->move(45, 12);
    ui->pushButton_Exception->move(69, 12);
}

void CComponentStatus::SetStatus(int product, int state) {
    m_nProduct = product;
    m_nState = state;

    switch (state) {
    case kCheckItunesProductState_Item_Success:
    case kCheckItunesProductState_Item_Success_NotSure: {
        const QString normal = m_strSkinPath + QStringLiteral("/Application/iTunesComponentNormal.png");
        ui->pushButton_Status->setImages(normal, normal, normal, QString());
        ui->pushButton_Exception->hide();
        break;
    }
    case kCheckItunesProductState_Item_Fail_Miss: {
        const QString lost = m_strSkinPath + QStringLiteral("/Application/iTunesComponentLost.png");
        ui->pushButton_Status->setImages(lost, lost, lost, QString());
        ui->pushButton_Exception->hide();
        break;
    }
    case kCheckItunesProductState_Item_Fail_Bad: {
        const QString damage = m_strSkinPath + QStringLiteral("/Application/iTunesComponentDamage.png");
        const QString mark = m_strSkinPath + QStringLiteral("/Application/iTunesExceptionFileMark.png");
        ui->pushButton_Status->setImages(damage, damage, damage, QString());
        ui->pushButton_Exception->setImages(mark, mark, mark, QString());
        break;
    }
    default: break;
    }
}

void CComponentStatus::SlotOpenExceptionListDialog() { emit SignalOpenExceptionListDialog(m_nProduct); }
