#pragma once
// A throw-away application folder for the updater: its settings file, the
// product executable (a copy of sleep carrying a version block, so that it
// has a FileVersion and can run as the product's process), the language files
// and a link to the build's skin.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <unistd.h>

#include "platform/VersionInfo.h"

namespace updatertest {

inline bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A shell script that records its arguments in "<itself>.args" and ends; the
// comment lines after it give it a size worth downloading in ranges.
inline QByteArray fakeInstaller(int paddingLines) {
    QByteArray script = "#!/bin/sh\nprintf '%s' \"$*\" > \"$0.args\"\nexit 0\n";
    for (int i = 0; i < paddingLines; ++i) script += "# " + QByteArray::number(i * 2654435761u, 16).repeated(8) + "\n";
    return script;
}

class UpdaterAppFolder {
public:
    // `product`: the process name of the product (its executable's file name).
    explicit UpdaterAppFolder(const QString& product, const QString& installedVersion = QStringLiteral("2.0.1.6"))
        : m_product(product) {
        writeFile(path(QStringLiteral("LiveUpdateSetting")),
                  "PID=CORVANE-2\nEXE=" + product.toUtf8() +
                      ".exe\nName=Corvane\nTitle=Corvane Live Update\n"
                      "Url=https://www.corvane.example/download\n[Info]\nEnglish=Repairs iTunes.\n");
        writeFile(path(QStringLiteral("language/language")), "English");
        QFile::link(QStringLiteral(ZN_APP_DIR "/skin"), path(QStringLiteral("skin")));
        setInstalledVersion(installedVersion);
    }

    QString path(const QString& relative = QString()) const {
        return relative.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + relative;
    }
    QString productPath() const { return path(m_product); }

    // The product executable: sleep, followed by a version block (empty
    // version: no block at all).
    void setInstalledVersion(const QString& version) {
        QByteArray binary = readFile(QStringLiteral("/bin/sleep"));
        if (!version.isEmpty()) {
            binary += platform::makeVersionBlock({{0x0409, 0x04B0}},
                                                 {{QStringLiteral("040904b0\\FileVersion"), version}}, version);
        }
        QFile::remove(productPath());
        writeFile(productPath(), binary);
        QFile::setPermissions(productPath(), QFile::permissions(productPath()) | QFile::ExeOwner);
    }

private:
    QTemporaryDir m_dir;
    QString m_product;
};

}  // namespace updatertest
