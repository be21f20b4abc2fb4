// The real Velkin, started silently as the main program starts it at every
// launch, against an update server that accepts connections and never
// answers: with the product's own 30 s limit per request the program ends by
// itself with 0 after four sends. (A test of its own: it takes two minutes,
// which it spends waiting, beside the other tests.)
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "updater/HttpGet.h"
#include "SilentServer.h"
#include "UpdaterAppFolder.h"

class UpdaterTimeoutTest : public QObject {
    Q_OBJECT

private slots:
    void aSilentVelkinEndsAgainstAServerThatNeverAnswers() {
        updatertest::UpdaterAppFolder app(QStringLiteral("ZnProduct-%1").arg(::getpid()));
        const QString velkin = app.path(QStringLiteral("Velkin"));
        QVERIFY(QFile::copy(QStringLiteral(ZN_APP_DIR "/Velkin"), velkin));
        QTemporaryDir runtime;

        updatertest::SilentServer server;
        QVERIFY(server.listen());

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(velkin, {QStringLiteral("--silent=true"), QStringLiteral("--updateURL=") + server.updateUrl()});
        QVERIFY(run.waitForStarted());
        const int limit = HttpGet::kRequestTimeoutMs;
        const bool ended = QTest::qWaitFor([&] { return run.state() == QProcess::NotRunning; }, 4 * limit + 60000);
        const QByteArray output = run.readAll();
        if (!ended) {
            run.kill();
            run.waitForFinished();
        }
        QVERIFY2(ended, output.constData());
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
        // Four sends, each ended by its limit.
        QCOMPARE(server.versionRequests(), 4);
    }
};

QTEST_GUILESS_MAIN(UpdaterTimeoutTest)
#include "tst_updater_timeout.moc"
