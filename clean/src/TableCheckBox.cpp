#include "clean/TableCheckBox.h"

#include <QDebug>
#include <QPixmap>

#include "CleanSkin.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "ui_CTableCheckBox.h"
#include "CleanLogging.h"

namespace {

struct Category {
    const char* initialText;
    const char* nameFormat;
    const char* icon;
};

// Categories 1 to 4 (eItunesUserDataType).
const Category kCategories[] = {
    {QT_TRANSLATE_NOOP("CTableCheckBox", "iTunes Media Files (0MB)"),
     QT_TRANSLATE_NOOP("CTableCheckBox", "iTunes Media Files (%1)"), "/dataScanIcon/media_files_icon.png"},
    {QT_TRANSLATE_NOOP("CTableCheckBox", "iOS Backups (0MB)"), QT_TRANSLATE_NOOP("CTableCheckBox", "iOS Backups (%1)"),
     "/dataScanIcon/backups_icon.png"},
    {QT_TRANSLATE_NOOP("CTableCheckBox", "Software Update Files (0MB)"),
     QT_TRANSLATE_NOOP("CTableCheckBox", "Software Update Files (%1)"), "/dataScanIcon/update_files_icon.png"},
    {QT_TRANSLATE_NOOP("CTableCheckBox", "Other Data (0MB)"), QT_TRANSLATE_NOOP("CTableCheckBox", "Other Data (%1)"),
     "/dataScanIcon/other_data.png"},
};

}  // namespace

CTableCheckBox::CTableCheckBox(QWidget* parent) : QWidget(parent), ui(new Ui::CTableCheckBox) {
    ui->setupUi(this);
    m_strSkinPath = clean::skinFolder();
    initStyle();

    // Enabled by the page once the scan has ended and the row holds data.
    ui->checkBox->setEnabled(false);
    m_nfileSize = 0;

    connect(ui->checkBox, &QCheckBox::clicked, this, &CTableCheckBox::SlotCheckBoxClicked);
    connect(ui->checkBox, &QCheckBox::stateChanged, this, &CTableCheckBox::SlotCheckBoxStateChanged);
}

CTableCheckBox::~CTableCheckBox() { delete ui; }

void CTableCheckBox::initStyle() {
    setCheckBoxIndicatorStyle(ui->checkBox, m_strSkinPath);
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));
    ui->label_text->setFont(g_styleCommon.getFont(15));
    for (QWidget* w : {static_cast<QWidget*>(ui->checkBox), static_cast<QWidget*>(ui->label_image),
                       static_cast<QWidget*>(ui->label_text)}) {
        w->setAttribute(Qt::WA_TranslucentBackground);
    }
}

void CTableCheckBox::SetUserDataType(int type) {
    m_nUserDataType = type;
    if (type < 1 || type > 4) return;
    const Category& category = kCategories[type - 1];
    ui->label_text->setText(tr(category.initialText));
    m_strNameFormat = tr(category.nameFormat);
    ui->label_image->setPixmap(QPixmap(m_strSkinPath + QLatin1String(category.icon)));
}

int CTableCheckBox::GetUserDataType() const { return m_nUserDataType; }

void CTableCheckBox::SetFileSize(qint64 fileSize) {
    if (fileSize > 0) {
        m_nfileSize = fileSize;
        ui->checkBox->setCheckState(Qt::Checked);
        ui->label_text->setText(m_strNameFormat.arg(ZnStyleCommon::formatFileSize(fileSize)));
    } else {
        m_nfileSize = 0;
        ui->checkBox->setCheckState(Qt::Unchecked);
        ui->label_text->setText(m_strNameFormat.arg(QStringLiteral("0MB")));
    }
}

qint64 CTableCheckBox::GetFileSize() const { return m_nfileSize; }

void CTableCheckBox::SetCheckState(int state) { ui->checkBox->setCheckState(static_cast<Qt::CheckState>(state)); }

int CTableCheckBox::GetCheckState() const { return ui->checkBox->checkState(); }

void CTableCheckBox::SetCheckBoxEnabled(bool enabled) { ui->checkBox->setEnabled(enabled); }

void CTableCheckBox::SlotCheckBoxClicked(bool isCheck) {
    // A tri-state box would step on to "partially checked"; a click always
    // leaves the category checked or unchecked.
    ui->checkBox->setCheckState(isCheck ? Qt::Checked : Qt::Unchecked);
    qCDebug(lcClean) << "CTableCheckBox::SlotCheckBoxClicked==m_nUserDataType====" << m_nUserDataType
                     << "=isCheck=" << isCheck << "=m_nfileSize==" << m_nfileSize;
    emit SignalCheckBoxClicked(m_nUserDataType, isCheck, m_nfileSize);
}

void CTableCheckBox::SlotCheckBoxStateChanged(int) {}
