// The download poller over a scripted download service: the target path, the
// refused start, what each task state posts to the facade, and a facade that
// goes while its worker polls.
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include "updater/DownloadControl.h"
#include "FakeDownloadService.h"
#include "updater/libAutoUpdate.h"

using updatertest::FakeDownloadService;

Q_DECLARE_METATYPE(DownloadTaskStatus)

class UpdaterPollerTest : public QObject {
    Q_OBJECT

private slots:
    void targetPath_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("target");
        QTest::newRow("file") << QStringLiteral("https://h/d/CorvaneSetup.exe")
                              << QStringLiteral("/f/CorvaneSetup.exe");
        QTest::newRow("slash") << QStringLiteral("https://h/d/") << QStringLiteral("/f/index.html");
        QTest::newRow("query kept") << QStringLiteral("https://h/get?f=a.exe") << QStringLiteral("/f/get?f=a.exe");
        // Never more than one safe segment in the folder.
        QTest::newRow("ends in ..") << QStringLiteral("https://h/d/..") << QStringLiteral("/f/index.html");
        QTest::newRow("ends in .") << QStringLiteral("https://h/d/.") << QStringLiteral("/f/index.html");
        QTest::newRow("hidden name") << QStringLiteral("https://h/d/.bashrc") << QStringLiteral("/f/bashrc");
        QTest::newRow("encoded ../x stays one name")
            << QStringLiteral("https://h/d/..%2Fx") << QStringLiteral("/f/%2Fx");
        QTest::newRow("backslashes") << QStringLiteral("https://h/d/..\\..\\Velkin") << QStringLiteral("/f/Velkin");
        QTest::newRow("control characters") << QStringLiteral("https://h/d/a\nb\tc") << QStringLiteral("/f/a_b_c");
        QTest::newRow("NUL") << QStringLiteral("https://h/d/a") + QChar(0) + QStringLiteral("b")
                             << QStringLiteral("/f/a_b");
        QTest::newRow("blanks and dots only") << QStringLiteral("https://h/d/ . . ") << QStringLiteral("/f/index.html");
        QTest::newRow("long name cut") << QStringLiteral("https://h/d/") + QString(300, QChar(0xE4))
                                       << QStringLiteral("/f/") + QString(100, QChar(0xE4));
        // The cut to 200 bytes keeps whole characters: 1 + 49 * 4 bytes.
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        QTest::newRow("long name cut between characters")
            << QStringLiteral("https://h/d/a") + emoji.repeated(300) << QStringLiteral("/f/a") + emoji.repeated(49);
        QTest::newRow("three-byte characters cut whole") << QStringLiteral("https://h/d/") + QString(100, QChar(0x20AC))
                                                         << QStringLiteral("/f/") + QString(66, QChar(0x20AC));
    }
    void targetPath() {
        QFETCH(QString, url);
        QFETCH(QString, target);
        FakeDownloadService fake;
        fake.script({FakeDownloadService::status(DownloadTaskFinished)});
        libAutoUpdate facade(nullptr, QString());
        QSignalSpy finished(&facade, &libAutoUpdate::signalDownloadFinished);
        QCOMPARE(facade.StartDownload(url, QStringLiteral("/f")), 0);
        QCOMPARE(facade.GetDownloadFilePath(), target);
        QCOMPARE(fake.lastTarget, target);
        QCOMPARE(fake.lastUrl, url);
        QCOMPARE(fake.lastConnections, 16);
        QTRY_COMPARE(finished.count(), 1);
    }

    // A surrogate without its other half cannot stand in a file name.
    void loneSurrogatesInTheName() {
        const QString emoji = QString::fromUcs4(U"\U0001F600");
        const QString url =
            QStringLiteral("https://h/d/a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00) + emoji;
        QCOMPARE(DownloadControl::targetFileName(url), QStringLiteral("a_b_") + emoji);
    }

    void aRefusedStartIsMinusTwo() {
        FakeDownloadService fake;
        fake.startResult = false;
        libAutoUpdate facade(nullptr, QString());
        QCOMPARE(facade.StartDownload(QStringLiteral("http://h/a.exe"), QStringLiteral("/f")), -2);
        QTest::qWait(50);
        QCOMPARE(fake.queries.load(), 0);
    }

    // What reaches the facade for a scripted run: progress only while the task
    // downloads with a known, non-zero size; then one end (finished, or
    // "Download failed." for a failed or incomplete task) and no more polls.
    void statesReachTheFacade_data() {
        using F = FakeDownloadService;
        QTest::addColumn<QList<DownloadTaskStatus>>("script");
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<QString>("error");
        QTest::newRow("finished") << QList<DownloadTaskStatus>{F::status(5), F::status(3, 100, 0.5f),
                                                               F::status(3, 100, 0.999f), F::status(4)}
                                  << QList<int>{50, 99} << true << QString();
        QTest::newRow("failed") << QList<DownloadTaskStatus>{F::status(3, 100, 0.25f), F::status(1)} << QList<int>{25}
                                << false << QStringLiteral("Download failed.");
        QTest::newRow("incomplete") << QList<DownloadTaskStatus>{F::status(3, 100, 0.3f), F::status(2)}
                                    << QList<int>{30} << false << QStringLiteral("Download failed.");
        QTest::newRow("unknown and zero size")
            << QList<DownloadTaskStatus>{F::status(3, -1, -5000.0f), F::status(3, 0, qInf()), F::status(4)}
            << QList<int>{} << true << QString();
    }
    void statesReachTheFacade() {
        QFETCH(QList<DownloadTaskStatus>, script);
        QFETCH(QList<int>, progress);
        QFETCH(bool, finished);
        QFETCH(QString, error);
        FakeDownloadService fake;
        fake.script(script);
        libAutoUpdate facade(nullptr, QString());
        QSignalSpy progressSpy(&facade, &libAutoUpdate::signalDownloadProgress);
        QSignalSpy finishedSpy(&facade, &libAutoUpdate::signalDownloadFinished);
        QSignalSpy errorSpy(&facade, &libAutoUpdate::singalHttpReturnError);
        QCOMPARE(facade.StartDownload(QStringLiteral("http://h/a.exe"), QStringLiteral("/f")), 0);
        QTRY_COMPARE(finishedSpy.count() + errorSpy.count(), 1);

        QList<int> got;
        for (const auto& args : progressSpy) got << args.at(0).toInt();
        QCOMPARE(got, progress);
        QCOMPARE(finishedSpy.count(), finished ? 1 : 0);
        if (!error.isEmpty()) QCOMPARE(errorSpy.at(0).at(0).toString(), error);
        // The worker has ended: no further queries.
        const int queries = fake.queries;
        QTest::qWait(100);
        QCOMPARE(fake.queries.load(), queries);
    }

    // The facade goes while the task still downloads: its worker stops at its
    // next poll and never calls into it.
    void theWorkerStopsWhenTheFacadeGoes() {
        FakeDownloadService fake;
        fake.script({FakeDownloadService::status(3, 100, 0.1f)});
        auto* facade = new libAutoUpdate(nullptr, QString());
        QCOMPARE(facade->StartDownload(QStringLiteral("http://h/a.exe"), QStringLiteral("/f")), 0);
        QTRY_VERIFY(fake.queries >= 3);
        delete facade;
        QTest::qWait(50);
        const int queries = fake.queries;
        QTest::qWait(100);
        QCOMPARE(fake.queries.load(), queries);
    }
};

QTEST_GUILESS_MAIN(UpdaterPollerTest)
#include "tst_updater_poller.moc"
