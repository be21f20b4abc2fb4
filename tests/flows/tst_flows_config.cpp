// The readers of the configuration files: the installer table's rules
// (entries of exactly five children read by position, exact version match,
// trimmed addresses and hashes, the latest entry, the marker entry), the
// mail-account file's scrambling, and the installer table shipped beside the
// program, which must name the demo installers the build makes.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/ConfigFiles.h"
#include "mail/EmailAccountFile.h"
#include "FlowsTestSupport.h"

using flowtest::readFile;
using flowtest::writeFile;

namespace {

QString entry(const QString& version, const QString& suffix) {
    return QStringLiteral(
               "<iTunesUrl><v>%1</v><u32>http://h/32%2</u32><h32>a32%2</h32>"
               "<u64>http://h/64%2</u64><h64>a64%2</h64></iTunesUrl>")
        .arg(version, suffix);
}

QByteArray table(const QString& versions) {
    return (QStringLiteral("<?xml version=\"1.0\"?><iTunesDownload>") + versions + QStringLiteral("</iTunesDownload>"))
        .toUtf8();
}

// `depth` nested elements.
QByteArray nested(int depth) { return QByteArray("<d>").repeated(depth) + QByteArray("</d>").repeated(depth); }

// A valid table of one entry for 12.9.0.1, with `extra` after the entry.
QByteArray tableWith(const QByteArray& extra) {
    return table(QStringLiteral("<iTunesVersion>") + entry("12.9.0.1", "b") + QStringLiteral("</iTunesVersion>") +
                 QString::fromLatin1(extra));
}

QByteArray scramble(const QByteArray& xml) {
    QByteArray text = xml.toBase64();
    text.insert(4, "Zn7");
    return text;
}

}  // namespace

class TestFlowConfig : public QObject {
    Q_OBJECT

private slots:
    void installerTable_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("installed");  // "-" : no iTunes installed
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("hash");
        QTest::addColumn<QString>("latest");   // version, URL, hash
        QTest::addColumn<QString>("version");  // the installed version afterwards

        const QString one = QStringLiteral("<iTunesVersion>") + entry("12.10.11.2", "a") + entry("12.9.0.1", "b") +
                            QStringLiteral("</iTunesVersion>");
        QTest::newRow("64-bit columns") << table(one) << "12.9.0.1" << 64 << true << "http://h/64b"
                                        << "a64b"
                                        << "12.10.11.2 http://h/64a a64a"
                                        << "12.9.0.1";
        QTest::newRow("32-bit columns") << table(one) << "12.9.0.1" << 32 << true << "http://h/32b"
                                        << "a32b"
                                        << "12.10.11.2 http://h/32a a32a"
                                        << "12.9.0.1";
        QTest::newRow("not listed") << table(one) << "12.8.0.1" << 64 << false << ""
                                    << ""
                                    << "12.10.11.2 http://h/64a a64a"
                                    << "12.8.0.1";
        QTest::newRow("version with a trailing blank")
            << table("<iTunesVersion>" + entry("12.9.0.1 ", "b") + "</iTunesVersion>") << "12.9.0.1" << 64 << false
            << ""
            << ""
            << "12.9.0.1  http://h/64b a64b"
            << "12.9.0.1";
        QTest::newRow("version in other letter case")
            << table("<iTunesVersion>" + entry("12.9.0.1-Beta", "b") + "</iTunesVersion>") << "12.9.0.1-beta" << 64
            << false << ""
            << ""
            << "12.9.0.1-Beta http://h/64b a64b"
            << "12.9.0.1-beta";
        QTest::newRow("pretty-printed cells are trimmed")
            << QByteArray(
                   "<t>\n <iTunesVersion>\n  <iTunesUrl>\n   <a>12.9.0.1</a>\n   <b>\n     http://h/32  \n   </b>\n"
                   "   <c> 00ff </c>\n   <d>\thttp://h/64\n</d>\n   <e>\n  ABCD\n   </e>\n  </iTunesUrl>\n"
                   " </iTunesVersion>\n</t>\n")
            << "12.9.0.1" << 64 << true << "http://h/64"
            << "ABCD"
            << "12.9.0.1 http://h/64 ABCD"
            << "12.9.0.1";
        QTest::newRow("four children")
            << table("<iTunesVersion><iTunesUrl><v>12.9.0.1</v><a>u</a><b>h</b><c>u</c></iTunesUrl></iTunesVersion>")
            << "12.9.0.1" << 64 << false << ""
            << ""
            << "  "
            << "12.9.0.1";
        QTest::newRow("six children")
            << table(
                   "<iTunesVersion><iTunesUrl><v>12.9.0.1</v><a>u</a><b>h</b><c>u</c><d>h</d><e/></iTunesUrl>"
                   "</iTunesVersion>")
            << "12.9.0.1" << 64 << false << ""
            << ""
            << "  "
            << "12.9.0.1";
        // A comment is a child node: it makes the entry one of six.
        QTest::newRow("comment inside an entry")
            << table(
                   "<iTunesVersion><iTunesUrl><!-- x --><v>12.9.0.1</v><a>u</a><b>h</b><c>u</c><d>h</d></iTunesUrl>"
                   "</iTunesVersion>")
            << "12.9.0.1" << 64 << false << ""
            << ""
            << "  "
            << "12.9.0.1";
        // ... and before the first entry it leaves no latest installer.
        QTest::newRow("comment before the first entry")
            << table("<iTunesVersion><!-- latest first -->" + entry("12.9.0.1", "b") + "</iTunesVersion>") << "12.9.0.1"
            << 64 << true << "http://h/64b"
            << "a64b"
            << "  "
            << "12.9.0.1";
        QTest::newRow("first entry is not an entry")
            << table("<iTunesVersion><other/>" + entry("12.9.0.1", "b") + "</iTunesVersion>") << "12.9.0.1" << 64
            << true << "http://h/64b"
            << "a64b"
            << "  "
            << "12.9.0.1";
        QTest::newRow("latest of the last element, later match wins")
            << table("<iTunesVersion>" + entry("12.10.11.2", "a") + entry("12.9.0.1", "b") + "</iTunesVersion>" +
                     "<Other>" + entry("12.9.0.1", "x") + "</Other>" + "<iTunesVersion>" + entry("12.11.0.1", "c") +
                     entry("12.9.0.1", "d") + "</iTunesVersion>")
            << "12.9.0.1" << 64 << true << "http://h/64d"
            << "a64d"
            << "12.11.0.1 http://h/64c a64c"
            << "12.9.0.1";
        // With no iTunes installed the latest entry is the one to install.
        QTest::newRow("no iTunes") << table(one) << "-" << 32 << true << "http://h/32a"
                                   << "a32a"
                                   << "12.10.11.2 http://h/32a a32a"
                                   << "12.10.11.2";
    }
    void installerTable() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, installed);
        QFETCH(int, bits);
        QFETCH(bool, found);
        QFETCH(QString, url);
        QFETCH(QString, hash);
        QFETCH(QString, latest);
        QFETCH(QString, version);
        QTemporaryDir dir;
        writeFile(dir.path() + "/iTunesDownloadUrl.xml", xml);

        SInstallerTableState state;
        state.bIsDownloadLastVersion = installed == QLatin1String("-");
        state.strVersion = state.bIsDownloadLastVersion ? QString() : installed;
        state.nVersionBit = bits;
        QVERIFY(ReadInstallerTable(InstallerTablePath(dir.path()), state));
        QCOMPARE(!state.bIsNotFindCurrentVersion, found);
        QCOMPARE(state.strDownloadUrl, url);
        QCOMPARE(state.strDownloadHash, hash);
        QCOMPARE(state.strLastVersion + " " + state.strLastDownloadUrl + " " + state.strLastDownloadHash, latest);
        QCOMPARE(state.strVersion, version);
    }

    void componentInformationMarker() {
        QTemporaryDir dir;
        writeFile(dir.path() + "/iTunesDownloadUrl.xml",
                  table("<iTunesVersion>" + entry("12.9.0.1", "b") +
                        "<iTunesUrl><v>iTunesComponentInformationUrl</v><p> http://h/info/ </p><x/><y/><z/></iTunesUrl>"
                        "</iTunesVersion>"));
        SInstallerTableState state;
        QVERIFY(ReadInstallerTable(InstallerTablePath(dir.path()), state));
        QCOMPARE(state.strComponentInformationUrl, QStringLiteral("http://h/info/"));
    }

    // Nothing readable: nothing changes.
    void unreadableTables_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("malformed") << QByteArray("<iTunesDownload><iTunesVersion>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no file") << QByteArray("-");
        // Beyond the bounds of the parse: the DOM parser recursed once per
        // level and crashed on 50000 levels; a huge table stalled the start.
        QTest::newRow("an entry beside a branch 65 deep") << tableWith(nested(65));
        QTest::newRow("50000 levels deep") << tableWith(nested(50000));
        QTest::newRow("over 4 MiB") << tableWith(QByteArray(4 * 1024 * 1024, ' '));
    }
    void unreadableTables() {
        QFETCH(QByteArray, xml);
        QTemporaryDir dir;
        if (xml != "-") writeFile(dir.path() + "/iTunesDownloadUrl.xml", xml);
        SInstallerTableState state;
        state.strVersion = QStringLiteral("12.9.0.1");
        state.strDownloadUrl = QStringLiteral("kept");
        QVERIFY(!ReadInstallerTable(InstallerTablePath(dir.path()), state));
        QVERIFY(state.bIsNotFindCurrentVersion);
        QCOMPARE(state.strDownloadUrl, QStringLiteral("kept"));
        QCOMPARE(state.strVersion, QStringLiteral("12.9.0.1"));
    }

    // The downloaded table wins over the shipped one while it is there as a
    // file; anything else of its name (a folder) leaves the shipped one.
    void tablePath_data() {
        QTest::addColumn<QString>("downloaded");  // "file", "folder" or "" (none)
        QTest::addColumn<QString>("read");
        QTest::newRow("nothing downloaded") << ""
                                            << "iTunesDownloadUrlLocal.xml";
        QTest::newRow("a downloaded table") << "file"
                                            << "iTunesDownloadUrl.xml";
        QTest::newRow("a folder named like the downloaded table") << "folder"
                                                                  << "iTunesDownloadUrlLocal.xml";
    }
    void tablePath() {
        QFETCH(QString, downloaded);
        QFETCH(QString, read);
        QTemporaryDir dir;
        const QString name = dir.path() + "/iTunesDownloadUrl.xml";
        if (downloaded == "file") writeFile(name, "x");
        if (downloaded == "folder") QVERIFY(QDir().mkpath(name + "/inner"));
        QCOMPARE(InstallerTablePath(dir.path()), dir.path() + "/" + read);
    }

    void emailAccount_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        auto account = [](const char* pid, const char* user, const char* password) {
            return QByteArray("<emailType><p>") + pid + "</p><u>" + user + "</u><w>" + password + "</w></emailType>";
        };
        const QByteArray head = "<?xml version=\"1.0\"?><EmailConfig><Email>";
        const QByteArray tail = "</Email></EmailConfig>";
        QTest::newRow("the product's account")
            << scramble(head + account("P01", "other@x", "o") + account("P00", "me@x", "secret") + tail) << true
            << "me@x"
            << "secret";
        QTest::newRow("a later account wins")
            << scramble(head + account("P00", "first@x", "1") + account("P00", "second@x", "2") + tail) << true
            << "second@x"
            << "2";
        QTest::newRow("another product only") << scramble(head + account("P01", "other@x", "o") + tail) << false << ""
                                              << "";
        QTest::newRow("product code in other case")
            << scramble(head + account("p00", "me@x", "s") + tail) << false << ""
            << "";
        QTest::newRow("four fields") << scramble(head + "<emailType><p>P00</p><u>me@x</u><w>s</w><x/></emailType>" +
                                                 tail)
                                     << false << ""
                                     << "";
        QTest::newRow("not scrambled") << QByteArray(head + account("P00", "me@x", "s") + tail) << false << ""
                                       << "";
        QTest::newRow("empty file") << QByteArray() << false << ""
                                    << "";
        QTest::newRow("an account beside a branch 65 deep")
            << scramble(head + account("P00", "me@x", "s") + tail.left(8) + nested(65) + tail.mid(8)) << false << ""
            << "";
        QTest::newRow("50000 levels deep")
            << scramble(head + account("P00", "me@x", "s") + nested(50000) + tail) << false << ""
            << "";
        QTest::newRow("over 4 MiB") << scramble(head + account("P00", "me@x", "s") + tail +
                                                QByteArray(4 * 1024 * 1024, ' '))
                                    << false << ""
                                    << "";
    }
    void emailAccount() {
        QFETCH(QByteArray, file);
        QFETCH(bool, found);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QTemporaryDir dir;
        writeFile(dir.path() + "/encryptEmailFile.xml", file);
        SEmailAccount account;
        QCOMPARE(ReadEmailAccount(dir.path() + "/encryptEmailFile.xml", account), found);
        QCOMPARE(account.strUser, user);
        QCOMPARE(account.strPassword, password);
    }

    // The file the demo site serves reads back as the account it was made with.
    void demoSiteMailFile() {
        QTemporaryDir dir;
        QProcess make;
        make.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-site"),
                   {dir.path(), QStringLiteral("http://127.0.0.1:1"), QStringLiteral("--user"),
                    QStringLiteral("feedback@corvane.test"), QStringLiteral("--password"), QStringLiteral("pa55")});
        QVERIFY(make.waitForFinished(120000));
        QCOMPARE(make.exitCode(), 0);
        SEmailAccount account;
        QVERIFY(ReadEmailAccount(dir.path() + "/pro-info/firmware/encryptEmailFile.xml", account));
        QCOMPARE(account.strUser, QStringLiteral("feedback@corvane.test"));
        QCOMPARE(account.strPassword, QStringLiteral("pa55"));
    }

    // The table shipped beside the program names the demo installers (the
    // archives are the same on every run) with their SHA-1.
    void shippedTableNamesTheDemoInstallers_data() {
        QTest::addColumn<int>("bits");
        QTest::newRow("64-bit") << 64;
        QTest::newRow("32-bit") << 32;
    }
    void shippedTableNamesTheDemoInstallers() {
        QFETCH(int, bits);
        const QString shipped = QStringLiteral(ZN_APP_DIR "/iTunesDownloadUrlLocal.xml");
        QVERIFY2(QFileInfo(shipped).isFile(), "the build copies the table into the application folder");
        QTemporaryDir dir;
        QProcess make;
        make.start(QStringLiteral(ZN_SOURCE_DIR "/scripts/make-demo-tree"),
                   {QStringLiteral("--archive"), dir.path() + "/iTunesSetup.exe", QStringLiteral("--bits"),
                    QString::number(bits)});
        QVERIFY(make.waitForFinished(120000));
        QCOMPARE(make.exitCode(), 0);
        const QString sha1 = QString::fromLatin1(readFile(dir.path() + "/iTunesSetup.exe.sha1")).trimmed();

        SInstallerTableState state;
        state.strVersion = QStringLiteral("12.10.11.2");
        state.nVersionBit = bits;
        QVERIFY(ReadInstallerTable(shipped, state));
        QVERIFY(!state.bIsNotFindCurrentVersion);
        QCOMPARE(state.strDownloadHash.toUpper(), sha1);
        QVERIFY(state.strDownloadUrl.endsWith(QLatin1String("/iTunesSetup.exe")));
        QCOMPARE(state.strLastVersion, QStringLiteral("12.10.11.2"));
    }
};

QTEST_GUILESS_MAIN(TestFlowConfig)
#include "tst_flows_config.moc"
