// The update-server client against a real nginx: the query URLs, the reply
// types told from the reply URL, the retries of a failing query and the
// "ver.txt" copy of a release-notes reply.
#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "updater/HttpGet.h"
#include "UpdateServer.h"
#include "updater/libAutoUpdate.h"
#include "platform/Programs.h"
#include "testsupport/ServerUtil.h"

#include <sys/stat.h>

using testsupport::TestNginx;

class UpdaterClientTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_app;

    static QStringList requestUris(const TestNginx& nginx, int atLeast) {
        QStringList uris;
        for (const auto& entry : nginx.accessLog(atLeast)) uris << entry.uri;
        return uris;
    }

private slots:
    void initTestCase() { platform::setApplicationDir(m_app.path()); }
    void cleanupTestCase() { platform::setApplicationDir(QString()); }

    // The type name is the text after "type=" up to the next "&"; a URL
    // without a known type is reported as 100 and then -1 with the same body.
    void replyTypes_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QList<int>>("types");
        QTest::newRow("link") << QStringLiteral("http://h/verinfo?pid=7&type=link") << QList<int>{2};
        QTest::newRow("info with lang") << QStringLiteral("http://h/verinfo?pid=7&type=info&lang=en_GB")
                                        << QList<int>{1};
        QTest::newRow("ver at the end") << QStringLiteral("http://h/verinfo?pid=7&type=ver") << QList<int>{0};
        QTest::newRow("exinfo") << QStringLiteral("http://h/verinfo?type=exinfo&pid=7") << QList<int>{3};
        QTest::newRow("notes file") << QStringLiteral("http://h/notes/whatsnew.html") << QList<int>{100, -1};
        QTest::newRow("unknown type") << QStringLiteral("http://h/verinfo?pid=7&type=other") << QList<int>{100, -1};
        QTest::newRow("no url") << QString() << QList<int>{-1};
    }
    void replyTypes() {
        QFETCH(QString, url);
        QFETCH(QList<int>, types);
        libAutoUpdate facade(nullptr, QStringLiteral("http://127.0.0.1:1/verinfo?"));
        QSignalSpy spy(&facade, &libAutoUpdate::signalGetInfo);
        facade.slotGetInfo(url, QStringLiteral("body"));
        QList<int> got;
        for (const auto& args : spy) {
            got << args.at(0).toInt();
            QCOMPARE(args.at(1).toString(), QStringLiteral("body"));
        }
        QCOMPARE(got, types);
    }

    // The query URLs as the server sees them; the language only for "info";
    // bodies taken whole as UTF-8.
    void queriesReachTheServer() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.version = QStringLiteral("2.1 “beta” ");
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));

        libAutoUpdate facade(nullptr, nginx.httpUrl(QStringLiteral("/verinfo?")));
        QSignalSpy spy(&facade, &libAutoUpdate::signalGetInfo);
        facade.GetInfo(QStringLiteral("P-7"), kInfoVer);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 0);
        QCOMPARE(spy.at(0).at(1).toString(), content.version);

        facade.GetInfoLang(QStringLiteral("P-7"), kInfoInfo, QStringLiteral("en_GB"));
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 1);
        QCOMPARE(spy.at(1).at(1).toString(), nginx.httpUrl(QStringLiteral("/notes/whatsnew.html")));

        facade.GetInfoLang(QStringLiteral("P-7"), kInfoLink, QStringLiteral("en_GB"));
        QTRY_COMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2).at(0).toInt(), 2);

        QCOMPARE(requestUris(nginx, 3),
                 (QStringList{"/verinfo?pid=P-7&type=ver", "/verinfo?pid=P-7&type=info&lang=en_GB",
                              "/verinfo?pid=P-7&type=link"}));
    }

    // A failing query is sent four times in all, then reported once; the next
    // query starts counting anew.
    void aFailingQueryIsSentFourTimes() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        updatertest::UpdateServerContent content;
        content.failingTypes.insert(QStringLiteral("ver"), 500);
        content.failingTypes.insert(QStringLiteral("link"), 500);
        QString error;
        QVERIFY2(updatertest::startUpdateServer(nginx, content, &error), qPrintable(error));

        libAutoUpdate facade(nullptr, nginx.httpUrl(QStringLiteral("/verinfo?")));
        QSignalSpy errors(&facade, &libAutoUpdate::singalHttpReturnError);
        QSignalSpy replies(&facade, &libAutoUpdate::signalGetInfo);
        facade.GetInfo(QStringLiteral("P"), kInfoVer);
        QTRY_COMPARE(errors.count(), 1);
        const QString text = errors.at(0).at(0).toString();
        QVERIFY2(text.startsWith(QStringLiteral("Network error: ")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral(",please check the network.")), qPrintable(text));

        facade.GetInfo(QStringLiteral("P"), kInfoLink);
        QTRY_COMPARE(errors.count(), 2);
        QCOMPARE(replies.count(), 0);
        const QStringList uris = requestUris(nginx, 8);
        QCOMPARE(uris.size(), 8);
        QCOMPARE(uris.count(QStringLiteral("/verinfo?pid=P&type=ver")), 4);
        QCOMPARE(uris.count(QStringLiteral("/verinfo?pid=P&type=link")), 4);
    }

    // A server that accepts and never answers: each send ends at the time
    // limit and counts as a failed send; after the fourth the time-out is
    // reported.
    void aRequestWithoutAnswerEndsAtItsTimeLimit() {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.1"))));
        QList<QTcpSocket*> held;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) held << socket;
        });
        HttpGet::setRequestTimeoutForTesting(200);
        const auto restore = qScopeGuard([] { HttpGet::setRequestTimeoutForTesting(0); });
        libAutoUpdate facade(nullptr, QStringLiteral("http://127.0.0.1:%1/verinfo?").arg(server.serverPort()));
        QSignalSpy errors(&facade, &libAutoUpdate::singalHttpReturnError);
        facade.GetInfo(QStringLiteral("P"), kInfoVer);
        QVERIFY(errors.wait(10000));
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Network error: The server did not answer in time,please check the network."));
        // Qt may open a spare connection that carries no request.
        int requests = 0;
        for (QTcpSocket* socket : held) {
            if (socket->bytesAvailable() == 0) socket->waitForReadyRead(100);
            requests += socket->readAll().startsWith("GET /verinfo?pid=P&type=ver ");
        }
        QCOMPARE(requests, 4);
        QTest::qWait(300);
        QCOMPARE(errors.count(), 1);
        qDeleteAll(held);
    }

    // A reply beyond the bound is aborted as a failed send (four in all,
    // then reported); one at the bound is taken whole.
    void aReplyBeyondTheBoundIsAFailedSend() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        nginx.addFile(QStringLiteral("big.txt"), QByteArray(HttpGet::kMaxReplyBytes + 1, 'b'));
        nginx.addFile(QStringLiteral("bound.txt"), QByteArray(HttpGet::kMaxReplyBytes, 'b'));
        QString error;
        QVERIFY2(nginx.start(&error), qPrintable(error));
        libAutoUpdate facade(nullptr, nginx.httpUrl(QStringLiteral("/verinfo?")));
        QSignalSpy errors(&facade, &libAutoUpdate::singalHttpReturnError);
        QSignalSpy replies(&facade, &libAutoUpdate::signalGetInfo);
        facade.GetUrl(nginx.httpUrl(QStringLiteral("/big.txt")));
        QVERIFY(errors.wait(20000));
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Network error: The server's answer is too large,please check the network."));
        QCOMPARE(replies.count(), 0);
        QCOMPARE(requestUris(nginx, 4).count(QStringLiteral("/big.txt")), 4);

        facade.GetUrl(nginx.httpUrl(QStringLiteral("/bound.txt")));
        QTRY_VERIFY_WITH_TIMEOUT(replies.count() >= 1, 20000);
        QCOMPARE(replies.at(0).at(1).toString().size(), int(HttpGet::kMaxReplyBytes));
        QCOMPARE(errors.count(), 1);
    }

    // A reply holding "What's New" is copied to "ver.txt" in the application
    // folder (before it is reported); another reply leaves the file alone.
    void releaseNotesAreCopiedToVerTxt() {
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        nginx.addFile(QStringLiteral("notes.html"), "<h3>What's New</h3> in 2.1");
        nginx.addFile(QStringLiteral("plain.txt"), "nothing new");
        QString error;
        QVERIFY2(nginx.start(&error), qPrintable(error));
        const QString verTxt = m_app.path() + QStringLiteral("/ver.txt");
        QFile::remove(verTxt);

        HttpGet get;
        bool fileThereAtSignal = false;
        connect(&get, &HttpGet::signalGetFinished, this, [&] { fileThereAtSignal = QFile::exists(verTxt); });
        QSignalSpy spy(&get, &HttpGet::signalGetFinished);
        get.get(nginx.httpUrl(QStringLiteral("/notes.html")));
        QTRY_COMPARE(spy.count(), 1);
        QVERIFY(fileThereAtSignal);
        QFile file(verTxt);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("<h3>What's New</h3> in 2.1\n"));
        file.close();

        get.get(nginx.httpUrl(QStringLiteral("/plain.txt")));
        QTRY_COMPARE(spy.count(), 2);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("<h3>What's New</h3> in 2.1\n"));
    }

    // Only a regular "ver.txt" is written. A link planted there is not
    // followed (its target, another file of the user's, stays as it was; a
    // missing target is not created), and a FIFO is neither waited for nor
    // written; the reply is still reported.
    void releaseNotesGoOnlyIntoARegularFile_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("link to a file") << QStringLiteral("link");
        QTest::newRow("link to a missing file") << QStringLiteral("dangling");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
    }
    void releaseNotesGoOnlyIntoARegularFile() {
        QFETCH(QString, planted);
        ZN_REQUIRE_BINARY("nginx");
        TestNginx nginx;
        nginx.addFile(QStringLiteral("notes.html"), "<h3>What's New</h3> in 2.1");
        QString error;
        QVERIFY2(nginx.start(&error), qPrintable(error));
        QTemporaryDir elsewhere;
        const QString canary = elsewhere.filePath(QStringLiteral("canary"));
        const QString verTxt = m_app.path() + QStringLiteral("/ver.txt");
        QFile::remove(verTxt);
        auto removeVerTxt = qScopeGuard([&] { QFile::remove(verTxt); });
        if (planted == QLatin1String("link")) {
            QFile file(canary);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("canary");
            file.close();
            QVERIFY(QFile::link(canary, verTxt));
        } else if (planted == QLatin1String("dangling")) {
            QVERIFY(QFile::link(canary, verTxt));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(verTxt).constData(), 0600), 0);
        }

        HttpGet get;
        QSignalSpy spy(&get, &HttpGet::signalGetFinished);
        get.get(nginx.httpUrl(QStringLiteral("/notes.html")));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("<h3>What's New</h3> in 2.1"));

        const QFileInfo info(verTxt);
        if (planted == QLatin1String("fifo")) {
            struct stat st {};
            QCOMPARE(::lstat(QFile::encodeName(verTxt).constData(), &st), 0);
            QVERIFY(S_ISFIFO(st.st_mode));
        } else {
            QVERIFY(info.isSymLink());
        }
        if (planted == QLatin1String("link")) {
            QFile file(canary);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("canary"));
        } else {
            QVERIFY(!QFile::exists(canary));
        }
    }
};

QTEST_GUILESS_MAIN(UpdaterClientTest)
#include "tst_updater_client.moc"
