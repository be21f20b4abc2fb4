#pragma once
// Shared helpers of the flow tests: a temporary application folder with the
// build's skin and engine library linked in and fake outside programs; the
// engine's script, call log and tree root of one test; the page the main
// window shows; modal boxes answered from a timer; the status codes the window
// sends to its result pages, recorded on the GUI thread.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <memory>

#include "repair/AdvancedRepairGuide.h"
#include "AppTestSupport.h"
#include "clean/CleaniTunesUserDataFinished.h"
#include "app/FixiTunes.h"
#include "repair/FixiTunesFinished.h"
#include "app/FixiTunesHome.h"
#include "clean/ScaniTunesData.h"
#include "toolkit/ZnStyleButtonWidget.h"
#include "toolkit/ZnMessageBox.h"
#include "testsupport/GuiTestSupport.h"
#include "platform/Programs.h"

namespace flowtest {

inline void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(data);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A program that is a shell script with the given body.
inline void writeProgram(const QString& path, const QByteArray& body) {
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

// One test's world: its application folder (the program's folder as the code
// sees it) and the engine's script, call log and tree root, all set through
// the engine's own variables before the window calls it.
class FlowEnv {
public:
    FlowEnv() : m_app(std::make_unique<apptest::AppFolder>()) {
        platform::setApplicationDir(appDir());
        apptest::initStyle(appDir());
        qputenv("SORVEL_SCRIPT", scriptPath().toLocal8Bit());
        qputenv("SORVEL_CALL_LOG", callLogPath().toLocal8Bit());
        qputenv("SORVEL_ROOT", rootPath().toLocal8Bit());
        QDir().mkpath(rootPath());
        // Unless a test serves them, the configuration downloads find nothing
        // listening and end at once.
        setServers(QStringLiteral("http://127.0.0.1:1"));
    }
    ~FlowEnv() { platform::setApplicationDir(QString()); }

    bool isValid() const { return m_app->isValid() && m_work.isValid(); }
    QString appDir() const { return m_app->path(); }
    QString workDir() const { return m_work.path(); }
    QString scriptPath() const { return m_work.path() + QStringLiteral("/engine-script.json"); }
    QString callLogPath() const { return m_work.path() + QStringLiteral("/engine-calls.log"); }
    QString rootPath() const { return m_work.path() + QStringLiteral("/root"); }

    void setScript(const QByteArray& json) const { writeFile(scriptPath(), json); }
    void setRoot(const QString& root) const { qputenv("SORVEL_ROOT", root.toLocal8Bit()); }
    static void setServers(const QString& base) {
        qputenv("CORVANE_PRODUCT_INFO_SERVER", base.toLocal8Bit());
        qputenv("CORVANE_CONFIG_SERVER", base.toLocal8Bit());
    }

    // The engine calls made so far, by operation name (first word of a line).
    QStringList calls() const {
        QStringList names;
        for (const QByteArray& line : readFile(callLogPath()).split('\n'))
            if (!line.isEmpty())
                names << QString::fromUtf8(line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ')));
        return names;
    }
    QString callLog() const { return QString::fromUtf8(readFile(callLogPath())); }

    // The installer table the program falls back on, in the application folder.
    void setFallbackTable(const QByteArray& xml) const {
        writeFile(appDir() + QStringLiteral("/iTunesDownloadUrlLocal.xml"), xml);
    }

private:
    std::unique_ptr<apptest::AppFolder> m_app;
    QTemporaryDir m_work;
};

// An installer table of one entry: version, 32-bit URL and hash, 64-bit URL and hash.
inline QByteArray installerTable(const QString& version, const QString& url, const QString& hash) {
    return QStringLiteral(
               "<?xml version=\"1.0\"?>\n<iTunesDownload>\n  <iTunesVersion>\n    <iTunesUrl>\n"
               "      <version>%1</version>\n      <url32>%2</url32>\n      <hash32>%3</hash32>\n"
               "      <url64>\n        %2\n      </url64>\n      <hash64> %3 </hash64>\n"
               "    </iTunesUrl>\n  </iTunesVersion>\n</iTunesDownload>\n")
        .arg(version, url, hash)
        .toUtf8();
}

// The demo installer archive ("iTunesSetup.exe", a 7-Zip archive) and its
// SHA-1 in upper case, made once per test program.
struct DemoInstaller {
    QString path;
    QString sha1;
};
inline DemoInstaller makeDemoInstaller(const QString& folder) {
    DemoInstaller installer;
    installer.path = folder + QStringLiteral("/iTunesSetup.exe");
    QProcess make;
    make.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-tree"),
               {QStringLiteral("--archive"), installer.path, QStringLiteral("--force")});
    if (!make.waitForFinished(120000) || make.exitCode() != 0) return DemoInstaller();
    installer.sha1 = QString::fromLatin1(readFile(installer.path + QStringLiteral(".sha1"))).trimmed();
    return installer;
}

// For a test case's initTestCase(): the demo installer, made in `base`.
inline void prepareInstaller(const QTemporaryDir& base, DemoInstaller& installer) {
    QVERIFY(base.isValid());
    installer = makeDemoInstaller(base.path());
    QVERIFY2(!installer.sha1.isEmpty(), "the demo installer could not be made");
}

// No server: the installer table comes from the fallback (its download URL
// leads nowhere), and `installer` is already in the application folder with
// the table's SHA-1, so the installer flows use it as it is.
inline bool useLocalInstaller(const FlowEnv& env, const DemoInstaller& installer) {
    env.setFallbackTable(installerTable(QStringLiteral("12.10.11.2"),
                                        QStringLiteral("http://127.0.0.1:1/iTunesSetup.exe"), installer.sha1));
    return QFile::copy(installer.path, env.appDir() + QStringLiteral("/iTunesSetup.exe"));
}

// For a test's init(): a fresh world whose installer flows use `installer` as
// it lies in the application folder.
inline void openLocalEnv(std::unique_ptr<FlowEnv>& env, const DemoInstaller& installer) {
    env = std::make_unique<FlowEnv>();
    QVERIFY(env->isValid());
    QVERIFY(useLocalInstaller(*env, installer));
}

// The engine script of a test: what every flow test starts from (iTunes
// 12.10.11.2, 64-bit, found intact by the check at start) with the test's own
// operations laid over it.
inline QByteArray engineScript(const QByteArray& operations = QByteArray("{}")) {
    QJsonObject script = QJsonDocument::fromJson(R"({
        "GetiTunesVersion": {"result": "12.10.11.2"},
        "GetiTunesVersionBit": {"result": 1},
        "CheckiTunes": {"callbacks": [{"state": 2, "record": {"product": 1}},
                                      {"state": 6, "record": {"failCount": 0}}]}})")
                             .object();
    const QJsonDocument extra = QJsonDocument::fromJson(operations);
    if (!extra.isObject()) qFatal("flow test: bad engine script %s", operations.constData());
    const QJsonObject ops = extra.object();
    for (auto it = ops.begin(); it != ops.end(); ++it) script.insert(it.key(), it.value());
    return QJsonDocument(script).toJson(QJsonDocument::Compact);
}

// The page the main window shows now (the one visible child of its page area).
inline QWidget* currentPage(FixiTunes& window) {
    auto* area = window.findChild<QWidget*>(QStringLiteral("widgetMain"));
    if (!area) return nullptr;
    QWidget* shown = nullptr;
    for (QObject* child : area->children()) {
        auto* page = qobject_cast<QWidget*>(child);
        if (page && page->isVisible()) {
            if (shown) return nullptr;  // two pages at once: no single page is current
            shown = page;
        }
    }
    return shown;
}

template <class Page>
Page* currentPageAs(FixiTunes& window) {
    return qobject_cast<Page*>(currentPage(window));
}

// Waits until the window shows a page of class Page.
template <class Page>
Page* waitForPage(FixiTunes& window, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!currentPageAs<Page>(window) && clock.elapsed() < timeoutMs) QTest::qWait(20);
    return currentPageAs<Page>(window);
}

inline QString pageName(QWidget* page) {
    return page ? QString::fromLatin1(page->metaObject()->className()) : QStringLiteral("(none)");
}

// The object names of the seven home tiles, by fix scene.
const char* const kTiles[] = {"widget_CleaniTunesQuickly",           "widget_CleaniTunesDeeply",
                              "widget_UninstalliTunesCompletely",    "widget_RepairFailediDeviceDetection",
                              "widget_FixiTunesInstallUpdateIssues", "widget_RepairBackupRestoreErrors",
                              "widget_FixOtheriTunesProblems"};

// Shows the window and waits until it is at home.
inline void showAtHome(FixiTunes& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY2(waitForPage<CFixiTunesHome>(window), qPrintable(pageName(currentPage(window))));
}

// Clicks the home tile of `scene` and returns the guide it leads to (null
// where the window is not at home or no guide comes).
inline CAdvancedRepairGuide* clickTile(FixiTunes& window, int scene) {
    auto* home = currentPageAs<CFixiTunesHome>(window);
    auto* tile = home ? home->findChild<ZnStyleButtonWidget*>(QLatin1String(kTiles[scene])) : nullptr;
    if (!tile) return nullptr;
    QTest::mouseClick(tile, Qt::LeftButton);
    return waitForPage<CAdvancedRepairGuide>(window, 5000);
}

using testsupport::answerNextBox;

inline void click(QWidget* parent, const char* objectName) {
    auto* button = parent ? parent->findChild<QAbstractButton*>(QLatin1String(objectName)) : nullptr;
    QVERIFY2(button, objectName);
    QVERIFY2(button->isEnabled(), objectName);
    button->click();
}

// From a cleaning guide: the quick scan, then Clean as soon as the scan allows it.
inline void scanQuicklyAndClean(FixiTunes& window, QWidget* guide) {
    click(guide, "pushButton_quickScan");
    auto* scan = currentPageAs<CScaniTunesData>(window);
    QVERIFY(scan);
    auto* clean = scan->findChild<QAbstractButton*>(QStringLiteral("pushButton_Clean"));
    QTRY_VERIFY_WITH_TIMEOUT(clean->isEnabled(), 10000);
    clean->click();
}

// The title and sentence of a repair result view: what tells the views apart.
inline QString viewText(QWidget* page) {
    if (!page) return QString();
    const auto* title = page->findChild<QLabel*>(QStringLiteral("label_title"));
    const auto* text = page->findChild<QLabel*>(QStringLiteral("label_text"));
    return (title ? title->text() : QString()) + QStringLiteral(" | ") + (text ? text->text() : QString());
}
inline QString referenceView(int fixStatus) {
    CFixiTunesFinished reference;
    reference.SetFixStatus(fixStatus);
    return viewText(&reference);
}

// The status codes the window sends to its result pages, collected on the GUI
// thread (the signals come from engine threads too).
class StatusRecorder : public QObject {
public:
    explicit StatusRecorder(FixiTunes& window) {
        auto record = [this](const char* name) {
            return [this, name](int code) { codes << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(code); };
        };
        connect(&window, &FixiTunes::SignalFixiTunesSuccess, this, record("FixSuccess"));
        connect(&window, &FixiTunes::SignalFixiTunesFailed, this, record("FixFailed"));
        connect(&window, &FixiTunes::SignalCompleteRepairSuccess, this, record("CompleteRepairSuccess"));
        connect(&window, &FixiTunes::SignalCompleteRepairFailed, this, record("CompleteRepairFailed"));
        connect(&window, &FixiTunes::SignalCompletelyUninstalliTunesFailed, this, record("UninstallFailed"));
        connect(&window, &FixiTunes::SignalCleaniTunesUserDataFailed, this,
                [this](int code, qlonglong size) { codes << QStringLiteral("CleanFailed %1 %2").arg(code).arg(size); });
        connect(&window, &FixiTunes::SignalCleaniTunesUserDataSuccess, this,
                [this](qlonglong size) { codes << QStringLiteral("CleanSuccess %1").arg(size); });
        connect(&window, &FixiTunes::SignalCompletelyUninstalliTunesSuccess, this,
                [this]() { codes << QStringLiteral("UninstallSuccess"); });
    }
    QStringList codes;
};

// Collects the program's debug lines while it exists; lines may come from
// any thread (engine, hash and Qt's own threads), also while the collector is
// being destroyed: the current collector is only reached under one lock that
// outlives every collector, and the destructor takes it, so it waits for a
// line being recorded and no thread records into a collector that is gone.
class LogLines {
public:
    LogLines() {
        QMutexLocker lock(&s_mutex);
        s_current = this;
        m_previous = qInstallMessageHandler(&LogLines::handler);
    }
    ~LogLines() {
        qInstallMessageHandler(m_previous);
        QMutexLocker lock(&s_mutex);
        if (s_current == this) s_current = nullptr;
    }
    QStringList lines() const {
        QMutexLocker lock(&s_mutex);
        return m_lines;
    }
    bool contains(const QString& text) const {
        for (const QString& line : lines())
            if (line.contains(text)) return true;
        return false;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        QtMessageHandler previous = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (!s_current) return;
            s_current->m_lines << message;
            previous = s_current->m_previous;
        }
        // Outside the lock: the next handler may end the program (a fatal
        // message), which logs once more.
        if (previous && previous != &LogLines::handler) previous(type, context, message);
    }
    static inline QMutex s_mutex;
    static inline LogLines* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

// Lists every file and link below `root` (relative paths, links marked).
inline QStringList treeListing(const QString& root) {
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink()) continue;
        out << QDir(root).relativeFilePath(path) + (info.isSymLink() ? QStringLiteral(" -> link") : QString());
    }
    out.sort();
    return out;
}

}  // namespace flowtest
