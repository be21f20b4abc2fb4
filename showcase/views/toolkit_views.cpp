// The toolkit's windows in typical states: message boxes, a frameless dialog
// with its title bar, and the scan progress bar.
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include "Showcase.h"
#include "toolkit/ZnMessageBox.h"
#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnStyleButton.h"
#include "toolkit/ZnStyleCommon.h"
#include "toolkit/ZnStyleDialog.h"
#include "toolkit/ZnStyleSheet.h"
#include "toolkit/ZnStyleWidgetTitle.h"

namespace {

QString skin() { return QString::fromStdString(GetSkinPath()); }

}  // namespace

ZN_SHOWCASE_VIEW("toolkit/messagebox-yesno") {
    ZnStyleCommon::installPlatformFonts();
    return new ZnMessageBox(QObject::tr("Are you sure that you want to exit the program?"), QString(),
                            ZnMessageBoxButton::Yes | ZnMessageBoxButton::No, nullptr);
}

ZN_SHOWCASE_VIEW("toolkit/messagebox-ok") {
    ZnStyleCommon::installPlatformFonts();
    auto* box = new ZnMessageBox(QObject::tr("Your feedback has been sent. Thank you for helping us improve."),
                                 QObject::tr("Feedback"), ZnMessageBoxButton::Ok, nullptr);
    box->setIcon(QStringLiteral("/Application/tip_succeed.png"));
    return box;
}

ZN_SHOWCASE_VIEW("toolkit/messagebox-all") {
    ZnStyleCommon::installPlatformFonts();
    auto* box = new ZnMessageBox(
        QObject::tr("iTunes is still running. Close it and try again, or cancel the repair."), QObject::tr("Repair"),
        ZnMessageBoxButton::Yes | ZnMessageBoxButton::No | ZnMessageBoxButton::Ok | ZnMessageBoxButton::Cancel,
        nullptr);
    box->setBoxSize(510, 230, 510, 230);
    box->setOuterWidgetSize(500, 35, 500, 35);
    box->setInnerWidgetSize(500, 180, 500, 180);
    box->setIcon(QStringLiteral("/Application/tip_fail.png"));
    return box;
}

ZN_SHOWCASE_VIEW("toolkit/frameless-dialog") {
    ZnStyleCommon::installPlatformFonts();
    auto* dialog = new ZnStyleDialog;
    dialog->setFixedSize(520, 300);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(0);

    auto* title = new ZnStyleWidgetTitle(dialog);
    title->setFixedSize(510, 35);
    title->setTitleText(QObject::tr("Brelion Corvane"));
    title->setPWidget(dialog, 5, 5, true);
    layout->addWidget(title);

    auto* body = new QWidget(dialog);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(30, 24, 30, 24);
    bodyLayout->setSpacing(16);
    auto* heading = new QLabel(QObject::tr("Repair completed"), body);
    heading->setFont(g_styleCommon.getFont(24));
    heading->setStyleSheet(g_styleCommon.getColorStyleSheet(13));
    auto* text = new QLabel(QObject::tr("All iTunes components were repaired. You can now open iTunes and "
                                        "connect your device again."),
                            body);
    text->setWordWrap(true);
    text->setFont(g_styleCommon.getFont(15));
    text->setStyleSheet(g_styleCommon.getColorStyleSheet(2));
    bodyLayout->addWidget(heading);
    bodyLayout->addWidget(text);
    bodyLayout->addStretch(1);

    auto* ok = new ZnStyleButton(body);
    ok->setText(QObject::tr("OK"));
    ok->setFixedSize(100, 30);
    ok->setFont(g_styleCommon.getFont(13));
    setPushButtonStyle(ok, QStringLiteral("button100_30normal2.png"), QStringLiteral("button100_30hover.png"),
                       QStringLiteral("button100_30pressing.png"), QStringLiteral("button100_30pressing.png"),
                       QStringLiteral("#ffffff"), QStringLiteral("#ffffff"), QStringLiteral("#ffffff"),
                       QStringLiteral("#ffffff"), skin() + QStringLiteral("/button/"));
    bodyLayout->addWidget(ok, 0, Qt::AlignRight);
    layout->addWidget(body);
    return dialog;
}

ZN_SHOWCASE_VIEW("toolkit/scanprogress-40") {
    ZnStyleCommon::installPlatformFonts();
    // As a page shows it: on white, with room around it.
    auto* area = new QWidget;
    area->setFixedSize(760, 90);
    area->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(40, 20, 40, 20);
    auto* caption = new QLabel(QObject::tr("Scanning iTunes components..."), area);
    caption->setFont(g_styleCommon.getFont(15));
    caption->setStyleSheet(g_styleCommon.getColorStyleSheet(13));
    auto* bar = new ZnScanProgressBar(area);
    bar->SetProgressBarWidth(640);
    bar->SetProgressValue(40);
    layout->addWidget(caption);
    layout->addWidget(bar);
    return area;
}
