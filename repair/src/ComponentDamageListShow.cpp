#include "repair/ComponentDamageListShow.h"

#include <QDebug>

#include "FileNames.h"
#include "toolkit/ZnStyleCommon.h"
#include "ui_CComponentDamageListShow.h"
#include "RepairLogging.h"

namespace {
// Names shown before the list is cut short with "   ...".
constexpr int kMaxListedDamagedFiles = 52;
}  // namespace

CComponentDamageListShow::CComponentDamageListShow(QWidget* parent)
    : QDialog(parent),
      ui(new Ui::CComponentDamageListShow) {
    ui->setupUi(this);
    initStyle();
    connect(ui->pushButton_close, &QPushButton::clicked, this, &QDialog::close);
}

CComponentDamageListShow::~CComponentDamageListShow() { delete ui; }

void CComponentDamageListShow::initStyle() {
    const QString skin = g_styleCommon.getSkinPath();

    ui->label_text->setWordWrap(true);
    ui->label_text->setFont(g_styleCommon.getFont(11));
    ui->label_text->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));

    ui->widget->setBackgroundImage(skin + QStringLiteral("/Application/details_bg.png"));

    ui->pushButton_close->setImages(skin + QStringLiteral("/Application/mainWindow_close_normal.png"),
                                    skin + QStringLiteral("/Application/mainWindow_close_hover.png"),
                                    skin + QStringLiteral("/Application/mainWindow_close_pressing.png"),
                                    skin + QStringLiteral("/Application/mainWindow_close_normal.png"));
    ui->pushButton_close->setAttribute(Qt::WA_TranslucentBackground);

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);

    // File names come from the engine: the list is plain text, so a name that
    // looks like markup neither switches it to rich text nor loses the breaks.
    ui->label_componentList->setTextFormat(Qt::PlainText);
    ui->label_componentList->setFont(g_styleCommon.getFont(11));
    ui->label_componentList->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));

    ui->TableMessageDetail->setFrameShape(QFrame::NoFrame);
}

void CComponentDamageListShow::SetComponentDamageList(const QVector<ST_ITUNES_CHECK_RESULT>& results, int product) {
    int found = -1;
    for (int i = 0; i < results.size(); ++i) {
        if (results.at(i).product == product) found = i;
    }
    if (found < 0) return;

    const std::vector<std::wstring>& files = results.at(found).vecDamageFile;
    qCDebug(lcRepair) << "nComponentCount==============" << results.size()
                      << "nComponentDamageListCount==============" << files.size();

    QString list;
    for (std::size_t i = 0; i < files.size(); ++i) {
        list += QStringLiteral(" \u00B7 ") + repair::fileNameOf(files[i]) + QLatin1Char('\n');
        if (i + 1 >= static_cast<std::size_t>(kMaxListedDamagedFiles)) {
            list += QStringLiteral("   ...");
            break;
        }
    }
    qCDebug(lcRepair) << "strComponentList==================" << list;
    ui->label_componentList->setText(list);
}

void CComponentDamageListShow::SetFileOccupiedList(const std::vector<std::wstring>& paths) {
    QString list;
    for (const std::wstring& path : paths) list += repair::fileNameOf(path) + QLatin1Char('\n');
    qCDebug(lcRepair) << "strFileOccupied==================" << list;
    ui->label_componentList->setText(list);
}

void CComponentDamageListShow::SetTitleText(const QString& text) { ui->label_text->setText(text); }
