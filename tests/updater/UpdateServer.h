#pragma once
// The update server as the tests need it: a real nginx on 127.0.0.1 that
// answers "<prefix>/verinfo?pid=..&type=<ver|info|link|exinfo>" by $arg_type
// and serves the release notes, the installer and its digest as files.
#include <QCryptographicHash>
#include <QMap>
#include <QString>
#include <QTest>

#include "UpdaterAppFolder.h"
#include "testsupport/TestNginx.h"

namespace updatertest {

struct UpdateServerContent {
    QString version = QStringLiteral("2.1.0.0");  // body of "ver"
    QByteArray notes = "<h3>What's New</h3><p>Faster repairs.</p>";
    QByteArray installer;    // served as /download/CorvaneSetup.exe
    QString digest;          // body of the digest file; empty: the installer's SHA-1 in upper case
    bool emptyLink = false;  // "link" answers an empty body
    // The path "link" names (the installer is served there only when it is
    // the default), and whether the installer is there from the start.
    QString linkPath = QStringLiteral("/download/CorvaneSetup.exe");
    bool serveInstaller = true;
    QMap<QString, int> failingTypes;  // type name -> HTTP status answered instead
};

inline QString upperSha1(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().toUpper());
}

// Configures `nginx` (before start) to serve `content`.
inline void configureUpdateServer(testsupport::TestNginx& nginx, const UpdateServerContent& content) {
    nginx.addFile(QStringLiteral("notes/whatsnew.html"), content.notes);
    if (content.serveInstaller) nginx.addFile(QStringLiteral("download/CorvaneSetup.exe"), content.installer);
    const QString digest = content.digest.isEmpty() ? upperSha1(content.installer) : content.digest;
    nginx.addFile(QStringLiteral("download/CorvaneSetup.sha1"), digest.toLatin1());

    QString location = QStringLiteral("location = /verinfo {\n  default_type text/plain;\n");
    for (auto it = content.failingTypes.begin(); it != content.failingTypes.end(); ++it)
        location += QStringLiteral("  if ($arg_type = %1) { return %2; }\n").arg(it.key()).arg(it.value());
    location += QStringLiteral("  if ($arg_type = ver) { return 200 \"%1\"; }\n").arg(content.version);
    location += QStringLiteral("  if ($arg_type = info) { return 200 \"@HTTP@/notes/whatsnew.html\"; }\n");
    location += content.emptyLink
                    ? QStringLiteral("  if ($arg_type = link) { return 200 \"\"; }\n")
                    : QStringLiteral("  if ($arg_type = link) { return 200 \"@HTTP@%1\"; }\n").arg(content.linkPath);
    location += QStringLiteral("  if ($arg_type = exinfo) { return 200 \"@HTTP@/download/CorvaneSetup.sha1\"; }\n");
    location += QStringLiteral("  return 404;\n}\n");
    nginx.addConfig(location);
}

// Configures `nginx` for `content`, sending the installer at most
// `throttle` bytes a second where it is not 0, and starts it.
inline bool startUpdateServer(testsupport::TestNginx& nginx, const UpdateServerContent& content, QString* error,
                              int throttle = 0) {
    configureUpdateServer(nginx, content);
    if (throttle > 0) nginx.addThrottle(QStringLiteral("/download/CorvaneSetup.exe"), throttle);
    return nginx.start(error);
}

// The fake installer at `target` was started with the silent arguments.
inline void verifyStartedSilently(const QString& target) {
    QTRY_COMPARE(readFile(target + QStringLiteral(".args")), QByteArray("/VERYSILENT /SUPPRESSMSGBOXES"));
}

// `installer` arrived whole at `target` and was started with the silent arguments.
inline void verifyInstalled(const QString& target, const QByteArray& installer) {
    QCOMPARE(upperSha1(readFile(target)), upperSha1(installer));
    verifyStartedSilently(target);
}

}  // namespace updatertest
