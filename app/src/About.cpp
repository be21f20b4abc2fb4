#include "app/About.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QTextDocument>

#include "toolkit/ZnSkinPath.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnUtility.h"
#include "platform/Endpoints.h"
#include "ui_CAbout.h"

namespace {

// One rich-text paragraph holding one anchor whose target and visible text are
// the same address; ZnStyleLink underlines it under the mouse.
QString linkMarkup(const QString& address) {
    return QStringLiteral(
               "<p>< a href = \"%1\"><span style=\"line-height:24px;text-decoration:none;"
               "color:#377dff;\">%1</span></a></p>")
        .arg(address);
}

// The company paragraph breaks its lines by hand, for the product's own font.
// Where the font that stands in for it is wider, the lines would wrap once more
// and the paragraph would not fit the fixed box: the font is narrowed just
// enough for the widest line to fit the label's width.
void FitParagraphLines(QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    const QStringList lines = document.toPlainText().split(QRegularExpression(QStringLiteral("[\\n\\x{2028}]")));
    const QFontMetrics metrics(label->font());
    int widest = 0;
    for (const QString& line : lines) widest = qMax(widest, metrics.horizontalAdvance(line.trimmed()));
    const int available = label->minimumWidth();
    if (widest <= available || available <= 0) return;
    QFont font = label->font();
    font.setStretch(qMax(50, 100 * available / widest));
    label->setFont(font);
}

}  // namespace

CAbout::CAbout(QWidget* parent) : QDialog(parent), ui(new Ui::CAbout) {
    ui->setupUi(this);
    resize(550, 370);
    setMinimumSize(550, 370);
    setMaximumSize(550, 370);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->widget->setPWidget(this, 5, 5, true);
    InitText();
    InitStyle();
}

CAbout::~CAbout() { delete ui; }

void CAbout::paintEvent(QPaintEvent* event) {
    m_shadow.drawShadow(this);
    QDialog::paintEvent(event);
}

void CAbout::InitText() {
    ui->widget->setTitleText(tr("About"));
    ui->labelDesc->setText(tr("One click to fix iTunes issues and optimize iTunes performance!"));
    ZnUtility utility;
    ui->labelVersion->setText(QStringLiteral("Version: ") +
                              utility.getFileVersion(QCoreApplication::applicationFilePath()));
    ui->labelDesc2->setText(
        tr("<html><head/><body><p style=\"line-height:24px;\">Brelion Technology Co. Ltd. is a "
           "hi-tech corporation, specialized in provid-<br/>ing professional solutions for iOS "
           "devices and helping global customers to <br/>run their iPhone/iPad/iPod "
           "better.</p></body></html>"));
}

void CAbout::InitStyle() {
    // The logo panel is a styled panel of line width 0, which is meant to draw no
    // border; this platform's widget style draws one for it all the same.
    ui->frame->setStyleSheet(QStringLiteral("QFrame#frame{border:none;}"));

    ui->labelGif->setScaledContents(true);
    ui->labelGif->setPixmap(
        QPixmap(QString::fromStdString(GetSkinPath()) + QStringLiteral("/Application/FixLogo_40.png")));

    ui->labelName->setFont(g_styleCommon.getFont(23));
    ui->labelName->setStyleSheet(ZnStyleCommon::getColorStyleSheet(9));
    ui->labelDesc->setFont(g_styleCommon.getFont(15));
    ui->labelDesc->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->labelDesc2->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    FitParagraphLines(ui->labelDesc2);
    ui->labelCom->setFont(g_styleCommon.getFont(11));
    ui->labelCom->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->labelVersion->setStyleSheet(ZnStyleCommon::getColorStyleSheet(13));

    ui->labelSupport->setFont(g_styleCommon.getFont(15));
    ui->labelSupport->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->labelSupport->setText(tr("Support:"));
    ui->labelHome->setFont(g_styleCommon.getFont(15));
    ui->labelHome->setStyleSheet(ZnStyleCommon::getColorStyleSheet(2));
    ui->labelHome->setText(tr("Home:"));

    ui->labelSupportLink->setFont(g_styleCommon.getFont(15));
    ui->labelSupportLink->setOpenExternalLinks(true);
    ui->labelHomeLink->setFont(g_styleCommon.getFont(15));
    ui->labelHomeLink->setOpenExternalLinks(true);
    ui->labelSupportLink->setText(linkMarkup(platform::endpoint(platform::Endpoint::SupportPage) + QLatin1Char('/')));
    ui->labelHomeLink->setText(linkMarkup(platform::endpoint(platform::Endpoint::WebSite) + QLatin1Char('/')));
}
