#include "clean/FileSize.h"

#include "toolkit/ZnStyleCommon.h"
#include "ui_CFileSize.h"

CFileSize::CFileSize(QWidget* parent) : QWidget(parent), ui(new Ui::CFileSize) {
    ui->setupUi(this);
    ui->label_fileSize->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_fileSize->setFont(g_styleCommon.getFont(15));
    ui->label_fileSize->setAttribute(Qt::WA_TranslucentBackground);
}

CFileSize::~CFileSize() { delete ui; }

void CFileSize::SetSubUserDataType(int subType) { m_nSubUserDataType = subType; }

int CFileSize::GetSubUserDataType() const { return m_nSubUserDataType; }

void CFileSize::SetFileSize(qint64 fileSize) {
    ui->label_fileSize->setText(fileSize > 0 ? ZnStyleCommon::formatFileSize(fileSize) : QStringLiteral("0MB"));
}
