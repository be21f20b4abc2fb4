#include "updater/LiveUpdate.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "updater/ButtonImageStyle.h"
#include "updater/CLumeronUpdateStatus.h"
#include "updater/CReadConfiguration.h"
#include "updater/UpdateChecks.h"
#include "ZnLinkQLabel.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleWidgetTitle.h"
#include "toolkit/ZnUtility.h"
#include "updater/libAutoUpdate.h"
#include "platform/DetachedProcess.h"
#include "platform/Processes.h"
#include "platform/Programs.h"
#include "ui_LiveUpdate.h"
#include "UpdaterLogging.h"

Q_LOGGING_CATEGORY(lcUpdaterWindow, "velkin.window")

namespace {

const char kScrollBarSheet[] =
    "QScrollBar{background:transparent; width: 4px; min-height:10;}"
    "QScrollBar::handle{background:#d8d8d8; border:2px solid transparent;min-height:20px;}"
    "QScrollBar::handle:hover{background:#c4c4c4;min-height:20px;}"
    "QScrollBar::sub-line{background:transparent;}QScrollBar::add-line{background:transparent;}";

const char kNoteFormat[] =
    "<html><body><p style=\"line-height:22px;height:14px;\"><span style=\"color:#484848;\">%1 </span>%2%3      "
    "<a href=\"%4\"><span style=\" text-decoration: underline; color:%5;\">%6</span></a></p></body></html>";

// The style sheet sets both colours; without it the body stays white and the
// frame takes the toolkit's blue.
QColor colorOr(const QString& text, const QColor& fallback) {
    const QColor color(text);
    return color.isValid() ? color : fallback;
}

}  // namespace

// The window icon lives in this static library; register it before use.
static void initUpdaterResources() { Q_INIT_RESOURCE(VelkinResources); }

LiveUpdate::LiveUpdate(QWidget* parent) : QWidget(parent), m_ui(new Ui::LiveUpdate) { initUpdaterResources(); }

LiveUpdate::~LiveUpdate() { delete m_ui; }

void LiveUpdate::initWindow() {
    initAutoUpdate();
    setupUi();
    slotGetVerInfo();
}

void LiveUpdate::initAutoUpdate() {
    m_nStage = UpdateCheckStage::Start;
    m_pAutoUpdate = new libAutoUpdate(this, property("server_url").toString());
    connect(m_pAutoUpdate, &libAutoUpdate::signalGetInfo, this, &LiveUpdate::slotGetInfo);
    connect(m_pAutoUpdate, &libAutoUpdate::signalDownloadProgress, this, &LiveUpdate::slotDownloadProgress);
    connect(m_pAutoUpdate, &libAutoUpdate::signalDownloadFinished, this, &LiveUpdate::slotDownloadFinished);
    connect(m_pAutoUpdate, &libAutoUpdate::singalHttpReturnError, this, &LiveUpdate::slotHandleHttpReturnError);
}

void LiveUpdate::setupUi() {
    // The form holds what never changes; the steps below add what depends on
    // the shadow width, the skin folder and the settings.
    m_ui->setupUi(this);
    textEditUpdateInfo = m_ui->textEditUpdateInfo;
    m_pButtonUpdate = m_ui->btnUpdate;
    progressBar = m_ui->progressBar;
    labelProgressValue = m_ui->labelProgressValue;
    labelProductName = m_ui->labelProductName;
    m_pProgressRow = m_ui->widgetProgress;
    labelNote = m_ui->labelNote;

    const QString images = g_styleCommon.getSkinPath() + QStringLiteral("AutoUpDate/");
    setupFrame();
    setupTitleBar(images);
    setupProductRow(images);
    setupNotesBox();
    m_pProgressRow->hide();
    setupButtons(images);
}

void LiveUpdate::setupFrame() {
    const int s = m_nShadowWidth;
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setContentsMargins(s, s, s, s);
    setFixedWidth(2 * s + 550);
    setMinimumHeight(4 * s + 330);
    setWindowIcon(QIcon(QStringLiteral(":/LiveUpdate/logo.png")));
}

void LiveUpdate::setupTitleBar(const QString& images) {
    // The window's own close button sits on the bar; the bar's built-in one
    // is not used.
    const QString title = CReadConfiguration::GetInstance()->GetTitle();
    m_ui->widgetTitle->setPWidget(this, m_nShadowWidth, m_nShadowWidth, true);
    m_ui->widgetTitle->setBackgroundImage(images + QStringLiteral("update_title.svg"));
    m_ui->widgetTitle->setTitleText(title.isEmpty() ? tr("Live Update") : title);
    m_ui->widgetTitle->hideCloseButton();
    m_ui->btnClose->setImages(
        images + QStringLiteral("win_close_normal.svg"), images + QStringLiteral("win_close_hover.svg"),
        images + QStringLiteral("win_close_pressing.svg"), images + QStringLiteral("win_close_normal.svg"));
    connect(m_ui->btnClose, &QPushButton::clicked, this, &QWidget::close);
}

void LiveUpdate::setupProductRow(const QString& images) {
    m_ui->labelImage->setStyleSheet(
        QStringLiteral("QLabel{image:url(%1);}").arg(images + QStringLiteral("updateIcon.svg")));
    m_ui->labelProductInfo->setText(CReadConfiguration::GetInstance()->GetPInfo());
}

void LiveUpdate::setupNotesBox() {
    textEditUpdateInfo->setAttribute(Qt::WA_TranslucentBackground);
    textEditUpdateInfo->verticalScrollBar()->setStyleSheet(QLatin1String(kScrollBarSheet));
}

void LiveUpdate::setupButtons(const QString& images) {
    const QString white = QStringLiteral("#ffffff");
    for (ZnStyleButton* button : {m_ui->btnUpdate, m_ui->btnCancel}) {
        button->setFont(g_styleCommon.getFont(15));
        setButtonImageStyle(button, QStringLiteral("button_normal.svg"), QStringLiteral("button_hover.svg"),
                            QStringLiteral("button_pressing.svg"), QStringLiteral("button_disable.svg"), white, white,
                            white, white, images);
    }
    connect(m_ui->btnUpdate, &QPushButton::clicked, this, &LiveUpdate::slotStartDownloadFile);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
}

void LiveUpdate::showOnTop() {
    setWindowIcon(QIcon(QStringLiteral(":/LiveUpdate/logo.png")));
    // Brought to the front, not kept on top.
    show();
    raise();
    activateWindow();
}

bool LiveUpdate::isSilentAndHidden() const { return property("silent").toBool() && isHidden(); }

void LiveUpdate::slotGetVerInfo() {
    textEditUpdateInfo->setText(tr("Checking for update now, please wait..."));
    repaint();
    m_pAutoUpdate->GetInfo(CReadConfiguration::GetInstance()->GetPID(), kInfoVer);
}

void LiveUpdate::slotGetInfo(int type, QString body) {
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: info" << body << " type:" << type;
    const QString pid = CReadConfiguration::GetInstance()->GetPID();
    switch (type) {
    case kInfoVer:
        if (isNewVersion(body)) {
            if (isSilentAndHidden()) showOnTop();
            textEditUpdateInfo->setText(tr("New Release!"));
            m_nStage = UpdateCheckStage::ReleaseNotesExpected;
            m_pAutoUpdate->GetInfoLang(pid, kInfoInfo, QStringLiteral("en_GB"));
        } else {
            if (isSilentAndHidden()) QCoreApplication::quit();
            textEditUpdateInfo->setText(tr("No updates available."));
        }
        break;
    case kInfoInfo: m_pAutoUpdate->GetUrl(body); break;
    case kInfoLink:
        m_strDownloadUrl = body;
        if (!m_strDownloadUrl.isEmpty()) m_pButtonUpdate->setEnabled(true);
        m_nStage = UpdateCheckStage::DigestExpected;
        m_pAutoUpdate->GetInfo(pid, kInfoExinfo);
        break;
    case kInfoExinfo: m_pAutoUpdate->GetUrl(body); break;
    case kInfoOtherUrl:
        if (m_nStage == UpdateCheckStage::ReleaseNotesExpected) {
            const bool rich = Qt::mightBeRichText(body);
            const QString shown = shownReleaseNotes(body, rich);
            if (rich)
                textEditUpdateInfo->setHtml(shown);
            else
                textEditUpdateInfo->setPlainText(shown);
            m_nStage = UpdateCheckStage::InstallerLinkExpected;
            m_pAutoUpdate->GetInfo(pid, kInfoLink);
        } else if (m_nStage == UpdateCheckStage::DigestExpected) {
            m_strServerDigest = body;
        }
        break;
    default: break;
    }
}

bool LiveUpdate::isNewVersion(const QString& serverVersion) {
    const QString exe = platform::programPath(CReadConfiguration::GetInstance()->GetEXE());
    const QString installed = ZnUtility().getFileVersion(exe);
    return isOlderVersion(installed, serverVersion);
}

void LiveUpdate::slotStartDownloadFile() {
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: download URL:" << m_strDownloadUrl;
    if (m_strDownloadUrl.isEmpty()) return;
    progressBar->setValue(0);
    labelProgressValue->setText(QStringLiteral("%1 %").arg(0));
    m_pProgressRow->show();
    m_pButtonUpdate->setEnabled(false);
    // A folder of the updater's own: whatever name the server's link ends in,
    // the download can never replace a file the product ships.
    m_strDownloadDir = downloadFolder();
    if (!QDir().mkpath(m_strDownloadDir) || m_pAutoUpdate->StartDownload(m_strDownloadUrl, m_strDownloadDir) == -2) {
        showFailure();
        return;
    }
    m_bDownloading = true;
}

QString LiveUpdate::downloadFolder() { return platform::applicationDir() + QStringLiteral("/update"); }

void LiveUpdate::slotDownloadProgress(int percent) {
    progressBar->setValue(percent);
    labelProgressValue->setText(QStringLiteral("%1 %").arg(percent));
}

void LiveUpdate::slotDownloadFinished() {
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: download finished";
    m_bDownloading = false;
    labelProgressValue->setText(QStringLiteral("%1 %").arg(100));
    progressBar->setValue(100);
    const QString path = m_pAutoUpdate->GetDownloadFilePath();
    const QString local = getFileDigest(path);
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: local file md5->" << local;
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: server file md5->" << m_strServerDigest;
    if (!digestMatches(local, m_strServerDigest)) {
        // Not the installer the server names: nothing to keep or run.
        QFile::remove(path);
        showFailure();
        return;
    }
    if (!stopProduct()) return;

    // The download is written without the execute bit.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser);
    qCDebug(lcUpdaterWindow) << "fileName" << path;
    // The download service's threads may still be winding down: start the
    // installer without allocating in the forked child.
    if (platform::startDetached(path, {QStringLiteral("/VERYSILENT"), QStringLiteral("/SUPPRESSMSGBOXES")})) {
        qCDebug(lcUpdaterWindow) << "startDetached success";
        new CLumeronUpdateStatus(0, this);
        close();
        m_pButtonUpdate->setEnabled(true);
    } else {
        qCDebug(lcUpdaterWindow) << "startDetached failed";
        showFailure();
    }
}

bool LiveUpdate::stopProduct() {
    // A product that cannot be stopped would bring the failure dialog back
    // for ever: after a few attempts the update gives up.
    const QString exe = CReadConfiguration::GetInstance()->GetEXE();
    for (int round = 0; round < kStopRounds; ++round) {
        KillProcessByName(QStringLiteral("Pellact.exe"));
        const uint32_t pid = FindProcessIdByName(exe);
        qCDebug(lcUpdaterWindow) << "CloseProcess Ret =" << pid;
        if (pid == 0 || TerminateProcessById(pid) == 0) return true;
        showFailure();
    }
    return false;
}

void LiveUpdate::showFailure() {
    CLumeronUpdateStatus* dialog = new CLumeronUpdateStatus(1, this);
    dialog->exec();
    m_pProgressRow->hide();
    m_pButtonUpdate->setEnabled(true);
}

QString LiveUpdate::getFileDigest(const QString& filePath) {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    qint64 remaining = file.size();
    char buffer[4096];
    while (remaining > 0) {
        const qint64 n = file.read(buffer, std::min<qint64>(remaining, sizeof buffer));
        // A read that fails or ends early leaves the digest incomplete: such a
        // digest must never match.
        if (n <= 0) return QString();
        hash.addData(buffer, int(n));
        remaining -= n;
    }
    const QByteArray digest = hash.result();
    static const char kHex[] = "0123456789ABCDEF";
    QString text;
    for (const char byte : digest) {
        text += QLatin1Char(kHex[(uchar(byte) >> 4) & 0xF]);
        text += QLatin1Char(kHex[uchar(byte) & 0xF]);
    }
    return text;
}

void LiveUpdate::slotHandleHttpReturnError(QString text) {
    textEditUpdateInfo->setText(text);
    // "Download failed.": the task has ended, its files stay, and a new
    // start resumes from them.
    if (m_bDownloading) {
        m_bDownloading = false;
        m_pButtonUpdate->setEnabled(true);
    }
    if (isSilentAndHidden()) QCoreApplication::quit();
}

void LiveUpdate::slotMsgReceivedFromOtherInstance(QString message) {
    qCDebug(lcUpdaterWindow) << "Zn LiveUpdate: message from another instance:" << message;
    if (message == QLatin1String("active")) showOnTop();
}

bool LiveUpdate::event(QEvent* event) {
    const bool result = QWidget::event(event);
    if (event->type() == QEvent::Polish && !m_bPolished) {
        m_bPolished = true;
        initProductView();
    }
    return result;
}

void LiveUpdate::initProductView() {
    const QString name = CReadConfiguration::GetInstance()->GetPName();
    if (labelProductName) labelProductName->setText(name);
    if (!labelNote) return;
    if (QFileInfo::exists(platform::applicationDir() + QStringLiteral("/custom"))) {
        labelNote->hide();
        return;
    }
    QTimer::singleShot(0, this, [this, name] { updateNoteText(name); });
}

void LiveUpdate::updateNoteText(const QString& productName) {
    labelNote->setText(
        QString::fromLatin1(kNoteFormat)
            .arg(tr("Note:"), property("extra_note").toString(),
                 tr("You can always download the newest version of %1 by clicking here:").arg(productName),
                 CReadConfiguration::GetInstance()->GetDownloadPageUrl(), labelNote->linkColor(), tr("Download")));
    adjustSize();
}

int LiveUpdate::shadowAlpha(int width, int ring) {
    const double alpha = (std::sqrt(double(std::max(width, 0))) - std::sqrt(double(std::max(ring, 0)))) * 50.0;
    return std::clamp(int(alpha), 0, 255);
}

void LiveUpdate::paintEvent(QPaintEvent*) {
    const int n = m_nShadowWidth;
    const QColor shadow = colorOr(m_strShadowColor, QColor(62, 137, 255));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (n == 1) {
        painter.fillRect(rect(), shadow);
    } else if (n > 1) {
        for (int i = 0; i < n; ++i) {
            QPainterPath outline;
            outline.setFillRule(Qt::WindingFill);
            const int inset = n - i;
            outline.addRoundedRect(QRectF(inset, inset, width() - 2 * inset, height() - 2 * inset), 0, 0);
            QColor color = shadow;
            color.setAlpha(shadowAlpha(n, i));
            painter.setPen(color);
            painter.drawPath(outline);
        }
    }
    painter.fillRect(contentsRect(), colorOr(m_strBgColor, Qt::white));
}
