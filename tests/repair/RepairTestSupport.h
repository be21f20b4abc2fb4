#pragma once
// Shared helpers of the repair page tests: the style object as start-up fills
// it, the bar of a page, modal boxes answered from a timer and captured link
// openings.
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QObject>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "toolkit/ZnMessageBox.h"
#include "testsupport/GuiTestSupport.h"
#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

namespace repairtest {

// Fills the style object's folders and font family as the program's start-up does.
inline void initStyle() {
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    g_styleCommon.setUpForProgram(platform::applicationDir());
}

// The value the page's progress bar shows, and its percentage text.
inline int barValue(const QWidget* page) {
    auto* bar = page->findChild<ZnScanProgressBar*>(QStringLiteral("widgetProgressBar"));
    return bar ? bar->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value() : -1;
}
inline QString barText(const QWidget* page) {
    auto* bar = page->findChild<ZnScanProgressBar*>(QStringLiteral("widgetProgressBar"));
    return bar ? bar->findChild<QLabel*>(QStringLiteral("label"))->text() : QString();
}

// Modal boxes and opened links: the shared widget-test helpers.
using testsupport::answerNextBox;
using testsupport::UrlCatcher;

}  // namespace repairtest
