// Folder removal, unpacking and installer hashing of the installer acquisition.
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "transfer/FileTools.h"
#include "transfer/GetHashThread.h"
#include "testsupport/FolderRace.h"

namespace {
void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// `count` small files named prefix0, prefix1, ... in `dir`.
void writeFiles(const QString& dir, const QString& prefix, int count) {
    QDir().mkpath(dir);
    for (int i = 0; i < count; ++i) {
        QFile f(dir + "/" + prefix + QString::number(i));
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write("x");
    }
}

int filesBelow(const QString& dir) {
    int count = 0;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

// Makes an entry whose name is the given bytes (not necessarily UTF-8).
bool makeFileAt(const QByteArray& dir, const QByteArray& name, mode_t mode = 0644) {
    const int fd = open((dir + "/" + name).constData(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) return false;
    return close(fd) == 0;
}

// A fake 7z: a shell script with the given body.
QString fakeProgram(const QString& dir, const QString& body) {
    const QString path = dir + "/fake7z";
    writeFile(path, "#!/bin/sh\n" + body.toUtf8() + "\n");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}
}  // namespace

class TestFileTools : public QObject {
    Q_OBJECT
private slots:
    void deleteDirectoryRemovesTreeButNotLinkTargets() {
        QTemporaryDir tmp;
        const QString outside = tmp.path() + "/outside";
        writeFile(outside + "/keep.txt", "keep");
        const QString target = tmp.path() + "/iTunesSetup";
        writeFile(target + "/a/b/c.txt", "c");
        writeFile(target + "/.hidden", "h");
        QVERIFY(QFile::link(outside, target + "/linkToOutside"));
        QVERIFY(QFile::link(outside + "/keep.txt", target + "/a/fileLink"));
        QVERIFY(QFile::link(tmp.path() + "/nowhere", target + "/dangling"));
        QVERIFY(QFile::link(target, target + "/a/loop"));  // a link back to the top

        QVERIFY(DeleteDirectory(target));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(QFile::exists(outside + "/keep.txt"));
    }

    void deleteDirectoryOnALinkRemovesOnlyTheLink() {
        QTemporaryDir tmp;
        writeFile(tmp.path() + "/real/x.txt", "x");
        QVERIFY(QFile::link(tmp.path() + "/real", tmp.path() + "/alias"));
        QVERIFY(DeleteDirectory(tmp.path() + "/alias"));
        QVERIFY(QFile::exists(tmp.path() + "/real/x.txt"));
    }

    void deleteDirectoryEndsOnAnEntryItCannotRemove() {
        if (geteuid() == 0) QSKIP("root may remove anything; the unremovable entry cannot be made");
        QTemporaryDir tmp;
        const QString target = tmp.path() + "/t";
        writeFile(target + "/locked/inner.txt", "x");
        QFile::setPermissions(target + "/locked", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QVERIFY(!DeleteDirectory(target));  // returns instead of looping
        QFile::setPermissions(target + "/locked",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // A local process exchanges a sub-folder of the folder being deleted with a
    // link to another folder, in a loop, while the deletion runs: nothing in
    // the other folder may go. Several rounds, since each meets the exchanges
    // at other moments.
    void deleteDirectoryStaysInsideWhileAFolderIsSwappedForALink() {
        for (int round = 0; round < 4; ++round) {
            QTemporaryDir tmp;
            const QString outside = tmp.path() + "/outside";
            writeFiles(outside, "canary", 100);
            writeFiles(outside + "/nested", "canary", 100);
            const int canaries = filesBelow(outside);
            const QString target = tmp.path() + "/iTunesSetup";
            for (int d = 0; d < 6; ++d) writeFiles(target + "/pkg/sub/d" + QString::number(d), "f", 150);
            writeFiles(target + "/pkg", "top", 50);
            QVERIFY(QFile::link(outside, tmp.path() + "/swap"));

            testsupport::FolderLinkSwapper racer(QFile::encodeName(target + "/pkg/sub").toStdString(),
                                                 QFile::encodeName(tmp.path() + "/swap").toStdString());
            DeleteDirectory(target);
            racer.stop();
            QVERIFY2(racer.firstSwapDone(), "the racer could not exchange the folder and the link");
            QCOMPARE(filesBelow(outside), canaries);
        }
    }

    // Names are removed as the bytes they are: one that is not valid UTF-8
    // (a file, a folder and a file in it) would otherwise stay for good. A
    // read-only file (7-Zip may unpack one) goes as well.
    void deleteDirectoryRemovesNamesThatAreNotUtf8AndReadOnlyFiles() {
        QTemporaryDir tmp;
        const QString target = tmp.path() + "/iTunesSetup";
        QVERIFY(QDir().mkpath(target));
        const QByteArray native = QFile::encodeName(target);
        QVERIFY(makeFileAt(native, "\xff\xfe-latin1-\xe9.bin"));
        QVERIFY(mkdir((native + "/dir-\xc3\x28").constData(), 0755) == 0);
        QVERIFY(makeFileAt(native + "/dir-\xc3\x28", "inner-\x80"));
        QVERIFY(makeFileAt(native, "read-only", 0444));
        QVERIFY(DeleteDirectory(target));
        QVERIFY(!QFileInfo::exists(target));
    }

    // A bind mount inside the folder (made in a private mount namespace of a
    // child) is not entered: the mounted folder keeps everything, and the
    // folder, which still holds the mount point, is reported not gone.
    void deleteDirectoryLeavesABindMountAlone() {
        QTemporaryDir tmp;
        const QString outside = tmp.path() + "/outside";
        writeFiles(outside + "/nested", "canary", 20);
        const QString target = tmp.path() + "/iTunesSetup";
        writeFiles(target + "/a", "f", 20);
        QVERIFY(QDir().mkpath(target + "/a/mounted"));
        const int code = testsupport::runInChild([&] {
            if (!testsupport::bindMountPrivately(QFile::encodeName(outside).toStdString(),
                                                 QFile::encodeName(target + "/a/mounted").toStdString()))
                return testsupport::kCannotSetUp;
            if (DeleteDirectory(target)) return 1;
            if (filesBelow(target + "/a/mounted") != 20) return 2;
            if (filesBelow(target) != 20) return 3;  // everything else went
            return 0;
        });
        if (code == testsupport::kCannotSetUp) {
            if (testsupport::underCi()) QFAIL("a private mount namespace with a bind mount is not possible here");
            QSKIP("a private mount namespace with a bind mount is not possible here (needs root)");
        }
        QCOMPARE(code, 0);
        QCOMPARE(filesBelow(outside), 20);
    }

    // A path with a "." or ".." part is refused and removes nothing: "top/a/.."
    // is top itself, and ".." after a link leads into the link's target's
    // parent, outside top.
    void deleteDirectoryRefusesDotParts_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("a/..") << "top/a/..";
        QTest::newRow("a/../ with a separator") << "top/a/../";
        QTest::newRow("a/../a") << "top/a/../a";
        QTest::newRow("a/./..") << "top/a/./..";
        QTest::newRow("a/.") << "top/a/.";
        QTest::newRow("./a in the middle") << "top/./a";
        QTest::newRow("link/../victim") << "top/link/../victim";
    }
    void deleteDirectoryRefusesDotParts() {
        QFETCH(QString, path);
        QTemporaryDir tmp;
        const QString top = tmp.path() + "/top";
        writeFiles(top + "/a", "f", 3);
        writeFiles(top, "t", 3);
        writeFiles(tmp.path() + "/elsewhere/sub", "s", 3);
        writeFiles(tmp.path() + "/elsewhere/victim", "v", 3);
        QVERIFY(QFile::link(tmp.path() + "/elsewhere/sub", top + "/link"));
        const int before = filesBelow(tmp.path());

        QVERIFY(!DeleteDirectory(tmp.path() + "/" + path));
        QCOMPARE(filesBelow(tmp.path()), before);
        QVERIFY(QFileInfo(top + "/a").isDir());
        QVERIFY(QFileInfo(tmp.path() + "/elsewhere/victim").isDir());
    }

    // 7-Zip's exit codes: 0 success, 1 warnings (a success when the folder is
    // there), 2 and above errors.
    void unzipResults_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("success");
        QTest::addColumn<bool>("warnings");
        QTest::addColumn<bool>("finished");
        // The target folder is "$4" without its "-o" prefix.
        const QString mk = "d=$(echo \"$4\" | sed 's/^-o//'); mkdir -p \"$d\"; ";
        QTest::newRow("good") << mk + "exit 0" << 10000 << true << false << true;
        QTest::newRow("warnings") << mk + "echo 'WARNING: a file was skipped'; exit 1" << 10000 << true << true << true;
        QTest::newRow("warnings without the folder") << QString("exit 1") << 10000 << false << false << true;
        QTest::newRow("fatal error after partial output") << mk + "exit 2" << 10000 << false << false << true;
        QTest::newRow("command line error") << mk + "exit 7" << 10000 << false << false << true;
        QTest::newRow("out of memory") << mk + "exit 8" << 10000 << false << false << true;
        QTest::newRow("stopped by the user") << mk + "exit 255" << 10000 << false << false << true;
        QTest::newRow("no output") << QString("exit 0") << 10000 << false << false << true;
        QTest::newRow("hung, killed at the limit") << mk + "exec sleep 30" << 500 << false << false << false;
        QTest::newRow("crash") << mk + "kill -SEGV $$" << 10000 << false << false << true;
    }
    void unzipResults() {
        QFETCH(QString, body);
        QFETCH(int, timeoutMs);
        QFETCH(bool, success);
        QFETCH(bool, warnings);
        QFETCH(bool, finished);
        QTemporaryDir tmp;
        const QString program = fakeProgram(tmp.path(), body);
        const QString target = tmp.path() + "/iTunesSetup";
        const UnzipResult r =
            RunUnzip(program, {"x", tmp.path() + "/iTunesSetup.exe", "-y", "-o" + target}, target, timeoutMs);
        QCOMPARE(r.success(), success);
        QCOMPARE(r.hasWarnings(), warnings);
        QCOMPARE(r.finished, finished);
        QVERIFY(r.started);
        if (warnings) QVERIFY(r.output.contains("WARNING: a file was skipped"));
    }

    // The installer's unpacking waits minutes, not seconds, before it kills
    // 7-Zip; a test may shorten it and set it back.
    void unzipTimeLimit() {
        QVERIFY(kUnzipTimeoutMs >= 5 * 60 * 1000);
        QCOMPARE(UnzipTimeoutMs(), kUnzipTimeoutMs);
        SetUnzipTimeoutMs(1500);
        QCOMPARE(UnzipTimeoutMs(), 1500);
        SetUnzipTimeoutMs(0);
        QCOMPARE(UnzipTimeoutMs(), kUnzipTimeoutMs);
    }

    // The wait keeps the calling thread's events going (the window paints on
    // while the real installer takes minutes): this 7z finishes only once a
    // timer of the calling thread has fired and written its go file.
    void unzipKeepsEventsGoing() {
        QTemporaryDir tmp;
        const QString go = tmp.path() + "/go";
        const QString program = fakeProgram(tmp.path(),
                                            "d=$(echo \"$4\" | sed 's/^-o//'); i=0\n"
                                            "while [ ! -e '" +
                                                go +
                                                "' ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                                                "[ -e '" +
                                                go + "' ] || exit 3\nmkdir -p \"$d\"; exit 0");
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, [go] { writeFile(go, "go"); });
        timer.start(100);
        const QString target = tmp.path() + "/iTunesSetup";
        const UnzipResult r =
            RunUnzip(program, {"x", tmp.path() + "/iTunesSetup.exe", "-y", "-o" + target}, target, 30000);
        QVERIFY2(r.success(), r.output.constData());
        QCOMPARE(r.exitCode, 0);
    }

    void unzipMissingProgram() {
        QTemporaryDir tmp;
        QDir().mkpath(tmp.path() + "/iTunesSetup");  // a stale folder does not make success
        const UnzipResult r = RunUnzip(tmp.path() + "/no-such-7z", {"x"}, tmp.path() + "/iTunesSetup", 2000);
        QVERIFY(!r.started);
        QVERIFY(!r.success());
    }

    void unzipWithReal7zReplacesStaleFolder() {
        const QString sevenZip = QStandardPaths::findExecutable("7z");
        if (sevenZip.isEmpty()) QSKIP("7z is not installed (p7zip-full)");
        QTemporaryDir tmp;
        writeFile(tmp.path() + "/src/Setup/iTunes.msi", QByteArray(4096, 'i'));
        writeFile(tmp.path() + "/src/Setup/manifest.txt", "m");
        QProcess pack;
        pack.setWorkingDirectory(tmp.path() + "/src");
        pack.start(sevenZip, {"a", "-t7z", tmp.path() + "/iTunesSetup.exe", "Setup"});
        QVERIFY(pack.waitForFinished(30000));
        QCOMPARE(pack.exitCode(), 0);

        const QString target = tmp.path() + "/iTunesSetup";
        writeFile(target + "/stale-from-earlier-run.txt", "old");
        QVERIFY(DeleteDirectory(target));
        const UnzipResult r =
            RunUnzip(sevenZip, {"x", tmp.path() + "/iTunesSetup.exe", "-y", "-o" + target}, target, 30000);
        QVERIFY(r.success());
        QVERIFY(QFile::exists(target + "/Setup/iTunes.msi"));
        QVERIFY(!QFile::exists(target + "/stale-from-earlier-run.txt"));
    }

    void hashThreadStreamsAndCompares() {
        QTemporaryDir tmp;
        QByteArray data;
        for (int i = 0; i < 3000; ++i) data += QByteArray::number(i) + "-installer-block\n";
        writeFile(tmp.path() + "/iTunesSetup.exe", data);
        const QString expected = QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex();

        CGetHashThread thread;
        QSignalSpy spy(&thread, &CGetHashThread::SignalCheckFinished);
        thread.SetFilePath(1, tmp.path() + "/iTunesSetup.exe");
        QVERIFY(spy.wait(10000) || spy.count() == 1);
        thread.wait();
        QCOMPARE(spy.at(0).at(0).toInt(), 1);
        QCOMPARE(thread.GetHashValue(), expected);
        QVERIFY(IsSameHash(thread.GetHashValue(), expected.toUpper()));

        thread.SetFilePath(0, tmp.path() + "/missing.exe");
        thread.wait();
        QVERIFY(thread.GetHashValue().isEmpty());
    }

    // The thread object may go while it hashes (or right after its result):
    // it stops between blocks and is waited for, never destroyed running.
    void hashThreadDestroyedWhileRunning() {
        QTemporaryDir tmp;
        QByteArray block(1 << 20, 'h');
        QFile file(tmp.path() + "/iTunesSetup.exe");
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 16; ++i) file.write(block);
        file.close();
        for (int round = 0; round < 4; ++round) {
            auto* thread = new CGetHashThread;
            thread->SetFilePath(0, file.fileName());
            delete thread;
        }
    }

    void hashComparison_data() {
        QTest::addColumn<QString>("computed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("same");
        QTest::newRow("equal") << "ab12"
                               << "ab12" << true;
        QTest::newRow("upper-case expected") << "ab12"
                                             << "AB12" << true;
        QTest::newRow("different") << "ab12"
                                   << "ab13" << false;
        QTest::newRow("both empty") << ""
                                    << "" << false;
        QTest::newRow("unreadable file") << ""
                                         << "ab12" << false;
        QTest::newRow("no expected hash") << "ab12"
                                          << "" << false;
    }
    void hashComparison() {
        QFETCH(QString, computed);
        QFETCH(QString, expected);
        QFETCH(bool, same);
        QCOMPARE(IsSameHash(computed, expected), same);
    }
};

QTEST_GUILESS_MAIN(TestFileTools)
#include "tst_filetools.moc"
