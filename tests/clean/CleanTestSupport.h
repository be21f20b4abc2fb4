#pragma once
// Shared helpers of the cleaning page tests: the style object as start-up
// fills it, one controller whose item list stands in for the engine's scan,
// builders of scanned items, modal boxes answered from a timer, and access to
// the page's rows and boxes by their object names.
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "gateway/Controller.h"
#include "toolkit/ZnMessageBox.h"
#include "testsupport/GuiTestSupport.h"
#include "toolkit/ZnScanProgressBar.h"
#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

namespace cleantest {

constexpr qint64 kKiB = 1024;
constexpr qint64 kMiB = 1024 * kKiB;
constexpr qint64 kGiB = 1024 * kMiB;

// Fills the style object as the program's start-up does, and makes the one
// controller. The controller is built while the application folder is an
// empty folder, so that no engine is loaded: the tests feed its item list
// themselves, as the engine's callback does.
inline void initEnvironment() {
    static QTemporaryDir noEngine;
    if (!g_pController) {
        platform::setApplicationDir(noEngine.path());
        g_pController = new CController;
    }
    platform::setApplicationDir(QStringLiteral(ZN_APP_DIR));
    g_styleCommon.setUpForProgram(platform::applicationDir());
}

inline ST_ITUNES_USERDATA_ITEM item(int type, int subType, qint64 size, qint64 categorySize,
                                    ST_ITUNES_SCAN_COUNT* counters = nullptr) {
    ST_ITUNES_USERDATA_ITEM it;
    it.type = type;
    it.subType = subType;
    it.size = size;
    it.categorySize = categorySize;
    it.pScanCount = counters;
    return it;
}

// An iOS backup: `allBackups` is the size the engine reports for the whole
// category (the item's subtype size), `size` the backup's own folder size.
inline ST_ITUNES_USERDATA_ITEM backup(int id, const std::wstring& name, const std::wstring& time, qint64 size,
                                      qint64 allBackups, ST_ITUNES_SCAN_COUNT* counters = nullptr) {
    ST_ITUNES_USERDATA_ITEM it =
        item(kItunesUserDataType_iOSBackup, kItunesUserDataSubType_iOSBackup, allBackups, 987654321, counters);
    it.stBackupInfo.id = id;
    it.stBackupInfo.strName = name;
    it.stBackupInfo.strTime = time;
    it.stBackupInfo.dirSize = size;
    it.stBackupInfo.isVaild = 1;
    return it;
}

inline void report(const ST_ITUNES_USERDATA_ITEM& it) { g_pController->AddUserDataItem(it); }

// How the next modal box is closed.
enum class Answer { Yes, No, CloseWithoutButton };

// Answers the next modal ZnMessageBox as soon as it is open and remembers
// its text. The timer gives up after a few seconds so that a box that never
// opens cannot hang the test.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(Answer answer) : m_answer(answer) {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<ZnMessageBox*>(QApplication::activeModalWidget());
            if (box) {
                ++opened;
                if (auto* label = box->findChild<QLabel*>(QStringLiteral("label"))) text = label->text();
                if (m_answer == Answer::Yes)
                    box->slotClose_yes();
                else if (m_answer == Answer::No)
                    box->slotClose_no();
                else
                    box->reject();
                m_timer.stop();
            } else if (++m_tries > 300) {
                m_timer.stop();
            }
        });
        m_timer.start(10);
    }
    int opened = 0;
    QString text;

private:
    Answer m_answer;
    QTimer m_timer;
    int m_tries = 0;
};

// The data rows of a page's stop question: every way to close the box
// ("answer") and whether that stops the work ("stopped").
inline void addStopAnswers() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("stopped");
    QTest::newRow("yes") << int(Answer::Yes) << true;
    QTest::newRow("no") << int(Answer::No) << false;
    QTest::newRow("closed") << int(Answer::CloseWithoutButton) << false;
}

// Opened links: the shared widget-test helper.
using testsupport::UrlCatcher;

template <typename T = QWidget>
T* child(const QObject* parent, const char* name) {
    T* w = parent->findChild<T*>(QLatin1String(name));
    if (!w) qFatal("missing child %s", name);
    return w;
}

inline QString text(const QObject* parent, const char* name) { return child<QLabel>(parent, name)->text(); }

inline QCheckBox* boxOf(const QWidget* row) { return child<QCheckBox>(row, "checkBox"); }

// The value the page's progress bar shows, and its percentage text.
inline int barValue(const QWidget* page) {
    return child<QProgressBar>(child<ZnScanProgressBar>(page, "widgetProgressBar"), "progressBar")->value();
}
inline QString barText(const QWidget* page) {
    return child<QLabel>(child<ZnScanProgressBar>(page, "widgetProgressBar"), "label")->text();
}

// Deletes the widgets whose deletion was deferred (cells a table dropped).
inline void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace cleantest
