#pragma once
// Shared helpers of the main-program tests: a temporary application folder
// with the skin, the engine and fake outside programs that record their
// arguments; capture of the program's debug lines; modal boxes answered from a
// timer; captured link openings.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtTest>
#include "testsupport/GuiTestSupport.h"

#include <functional>

#include "toolkit/ZnStyleCommon.h"
#include "platform/Programs.h"

namespace apptest {

// Fills the style object as the program's start-up does, for the folder `app`.
inline void initStyle(const QString& app) { g_styleCommon.setUpForProgram(app); }

// A fake outside program: a shell script that records the arguments of its
// last start (NUL-separated, so any text survives) in <program>.argv and counts
// its starts in <program>.starts. `extra` runs after that (e.g. "exec sleep 30").
inline bool writeFakeProgram(const QString& path, const QString& extra = QString()) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    // A program started by a test that has ended finds its folder gone: quietly.
    file.write(
        "#!/bin/sh\n"
        "exec 2>/dev/null\n"
        "out=\"$0.argv\"\n"
        "printf '%s\\0' \"$@\" > \"$out.tmp.$$\" && mv \"$out.tmp.$$\" \"$out\"\n"
        "echo started >> \"$0.starts\"\n");
    file.write(extra.toUtf8() + "\n");
    file.close();
    return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

// The recorded arguments of the program's last start; empty list when it never
// started (check started() to tell that from a start without arguments).
inline QStringList recordedArguments(const QString& programPath) {
    QFile file(programPath + QStringLiteral(".argv"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> parts = file.readAll().split('\0');
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    QStringList out;
    for (const QByteArray& p : parts) out << QString::fromUtf8(p);
    return out;
}

inline int startCount(const QString& programPath) {
    QFile file(programPath + QStringLiteral(".starts"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readAll().count('\n');
}

// A temporary application folder: the build's skin and engine library linked
// in, and fake Pellact, Velkin and Feedback programs.
class AppFolder {
public:
    explicit AppFolder(bool withEngine = true) {
        const QString app = QStringLiteral(ZN_APP_DIR);
        QFile::link(app + QStringLiteral("/skin"), path() + QStringLiteral("/skin"));
        if (withEngine) QFile::link(app + QStringLiteral("/libSorvel.so"), path() + QStringLiteral("/libSorvel.so"));
        for (const char* name : {"Pellact", "Velkin", "Feedback"}) writeFakeProgram(program(QLatin1String(name)));
    }
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString program(const QString& name) const { return path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
};

// Collects the program's debug lines while it exists.
class LogCapture {
public:
    LogCapture() {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList lines;
    bool contains(const QString& text) const {
        for (const QString& line : lines)
            if (line.contains(text)) return true;
        return false;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (s_current) s_current->lines << message;
        if (s_current && s_current->m_previous) s_current->m_previous(type, context, message);
    }
    static inline LogCapture* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
};

// Modal boxes and opened links: the shared widget-test helpers.
using testsupport::onNextModal;
using testsupport::UrlCatcher;

}  // namespace apptest
