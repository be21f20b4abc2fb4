#include "clean/SubUserDataCheckBox.h"

#include <QDebug>
#include <QPixmap>

#include "CleanSkin.h"
#include "SorvelInterface.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleSheet.h"
#include "ui_CSubUserDataCheckBox.h"
#include "CleanLogging.h"

Q_LOGGING_CATEGORY(lcClean, "corvane.clean")

namespace {

struct SubType {
    const char* name;
    const char* icon;
};

// Subtypes 1 to 19 (eItunesUserDataSubType); 12, an iOS backup, is named by
// its device. Two icon file names hold a blank: the skin spells them so.
const SubType kSubTypes[] = {
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Music"), "/dataScanIcon/music_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Movies"), "/dataScanIcon/movies_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Home Videos"), "/dataScanIcon/home_videos_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "TV Shows"), "/dataScanIcon/tv_shows_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Podcasts"), "/dataScanIcon/podcasts_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Audiobooks"), "/dataScanIcon/audiobooks_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "iTunes U"), "/dataScanIcon/itunes_u_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Voice Memo"), "/dataScanIcon/voice_memos_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Books"), "/dataScanIcon/books_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Tones"), "/dataScanIcon/tones_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Downloads"), "/dataScanIcon/downloads_normal.png"},
    {nullptr, nullptr},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "iTunes Update Files"), "/dataScanIcon/itunes_update _files_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "iOS Update Files"), "/dataScanIcon/ios_update_files_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Mobile Apps"), "/dataScanIcon/mobile_ apps_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Cache"), "/dataScanIcon/cache_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Cookies"), "/dataScanIcon/cookies_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Logs"), "/dataScanIcon/logs_normal.png"},
    {QT_TRANSLATE_NOOP("CSubUserDataCheckBox", "Other Junk Files"), "/dataScanIcon/other_junk_files_normal.png"},
};
static_assert(sizeof(kSubTypes) / sizeof(kSubTypes[0]) == kItunesUserDataSubType_OtherJunkFiles,
              "one entry per subtype 1 to 19");

}  // namespace

CSubUserDataCheckBox::CSubUserDataCheckBox(QWidget* parent) : QWidget(parent), ui(new Ui::CSubUserDataCheckBox) {
    ui->setupUi(this);
    m_strSkinPath = clean::skinFolder();
    initStyle();

    // Enabled by the page once the scan has ended and the row holds data.
    ui->checkBox->setEnabled(false);
    m_nfileSize = 0;
    m_nId = 0;

    connect(ui->checkBox, &QCheckBox::clicked, this, &CSubUserDataCheckBox::SlotCheckBoxClicked);
}

CSubUserDataCheckBox::~CSubUserDataCheckBox() { delete ui; }

void CSubUserDataCheckBox::initStyle() {
    setCheckBoxIndicatorStyle(ui->checkBox, m_strSkinPath);
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->label_text->setFont(g_styleCommon.getFont(15));
    for (QWidget* w : {static_cast<QWidget*>(ui->checkBox), static_cast<QWidget*>(ui->label_image),
                       static_cast<QWidget*>(ui->label_text)}) {
        w->setAttribute(Qt::WA_TranslucentBackground);
    }
}

void CSubUserDataCheckBox::SetSubUserDataType(int subType) {
    m_nSubUserDataType = subType;
    if (subType == kItunesUserDataSubType_iOSBackup) {
        ui->label_image->hide();
        return;
    }
    if (subType < kItunesUserDataSubType_Music || subType > kItunesUserDataSubType_OtherJunkFiles) return;
    const SubType& entry = kSubTypes[subType - 1];
    m_strName = tr(entry.name);
    ui->label_text->setText(m_strName);
    ui->label_image->setPixmap(QPixmap(m_strSkinPath + QLatin1String(entry.icon)));
}

int CSubUserDataCheckBox::GetSubUserDataType() const { return m_nSubUserDataType; }

void CSubUserDataCheckBox::SetId(int id, QString name) {
    m_nId = id;
    qCDebug(lcClean) << "CSubUserDataCheckBox::SetId============m_nId=====" << m_nId;
    if (!name.isEmpty()) ui->label_text->setText(name);
}

int CSubUserDataCheckBox::GetId() const {
    qCDebug(lcClean) << "CSubUserDataCheckBox::GetId============m_nId=====" << m_nId;
    return m_nId;
}

void CSubUserDataCheckBox::SetFileSize(qint64 fileSize) {
    if (fileSize > 0) {
        m_nfileSize = fileSize;
        ui->checkBox->setChecked(true);
    } else {
        m_nfileSize = 0;
        ui->checkBox->setChecked(false);
    }
}

qint64 CSubUserDataCheckBox::GetFileSize() const { return m_nfileSize; }

bool CSubUserDataCheckBox::IsChecked() const { return ui->checkBox->isChecked(); }

void CSubUserDataCheckBox::SetChecked(bool checked) { ui->checkBox->setChecked(checked); }

void CSubUserDataCheckBox::SetCheckBoxEnabled(bool enabled) { ui->checkBox->setEnabled(enabled); }

void CSubUserDataCheckBox::SlotCheckBoxClicked(bool isCheck) {
    // A backup row is known to the clean request by its id, every other row
    // by its subtype.
    const int key = m_nSubUserDataType == kItunesUserDataSubType_iOSBackup ? m_nId : m_nSubUserDataType;
    qCDebug(lcClean) << "CSubUserDataCheckBox::SlotCheckBoxClicked==m_nSubUserDataType====" << m_nSubUserDataType
                     << "=isCheck=" << isCheck << "=m_nfileSize==" << m_nfileSize;
    emit SignalCheckBoxClicked(key, isCheck, m_nfileSize);
}
