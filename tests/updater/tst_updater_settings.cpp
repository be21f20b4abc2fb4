// The updater's settings file, language file and translation, and the
// start-up values taken from the command line.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "updater/CReadConfiguration.h"
#include "updater/LiveUpdateStartup.h"
#include "updater/LiveUpdateTranslation.h"
#include "platform/Programs.h"

namespace {

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The translations the build made.
QString builtQm(const QString& name) { return QStringLiteral(ZN_APP_DIR "/language/qm/LiveUpdate/") + name; }

}  // namespace

class UpdaterSettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_app = nullptr;
    QString app() const { return m_app->path(); }
    QString qmFolder() const { return app() + QStringLiteral("/language/qm/LiveUpdate/"); }
    void installQm(const QString& builtName, const QString& asName) {
        QDir().mkpath(qmFolder());
        QVERIFY(QFile::copy(builtQm(builtName), qmFolder() + asName));
    }

private slots:
    void init() {
        m_app = new QTemporaryDir;
        QDir().mkpath(app() + QStringLiteral("/language"));
        platform::setApplicationDir(app());
    }
    void cleanup() {
        platform::setApplicationDir(QString());
        delete m_app;
    }

    // Every key, read as UTF-8 and whole (commas included); the description
    // comes from group "Info" under the language name, and the missing
    // language file is created holding exactly "English".
    void readsTheSettingsAndCreatesTheLanguageFile() {
        QVERIFY(writeFile(app() + QStringLiteral("/LiveUpdateSetting"),
                          "PID=P-7\nEXE=Corvane.exe\nName=Corvane Pro, Édition\nInfo=top-level text\n"
                          "Title=Mise à jour\nUrl=https://www.corvane.example/dl?a=1,2\n\n"
                          "[Info]\nEnglish=Repairs, cleans and reinstalls iTunes.\nDeutsch=Repariert iTunes.\n"));
        CReadConfiguration* config = CReadConfiguration::GetInstance();
        config->ReadConfig();
        QCOMPARE(readFile(app() + QStringLiteral("/language/language")), QByteArray("English"));
        QCOMPARE(config->GetPID(), QStringLiteral("P-7"));
        QCOMPARE(config->GetEXE(), QStringLiteral("Corvane.exe"));
        QCOMPARE(config->GetPName(), QStringLiteral("Corvane Pro, Édition"));
        QCOMPARE(config->GetTitle(), QStringLiteral("Mise à jour"));
        QCOMPARE(config->GetDownloadPageUrl(), QStringLiteral("https://www.corvane.example/dl?a=1,2"));
        QCOMPARE(config->GetPInfo(), QStringLiteral("Repairs, cleans and reinstalls iTunes."));

        QVERIFY(writeFile(app() + QStringLiteral("/language/language"), "Deutsch"));
        config->ReadConfig();
        QCOMPARE(config->GetPInfo(), QStringLiteral("Repariert iTunes."));
        // The language name is taken untrimmed: with a line end no key matches.
        QVERIFY(writeFile(app() + QStringLiteral("/language/language"), "English\n"));
        config->ReadConfig();
        QCOMPARE(config->GetLanguage(), QStringLiteral("English\n"));
        QCOMPARE(config->GetPInfo(), QString());
    }

    // No settings file: every value empty. A language file that cannot be
    // made leaves the language empty and the top-level description.
    void missingFilesGiveEmptyValues() {
        CReadConfiguration* config = CReadConfiguration::GetInstance();
        config->ReadConfig();
        QCOMPARE(config->GetPID(), QString());
        QCOMPARE(config->GetPName(), QString());
        QCOMPARE(config->GetLanguage(), QStringLiteral("English"));

        QVERIFY(writeFile(app() + QStringLiteral("/LiveUpdateSetting"), "Info=top-level text\n"));
        QVERIFY(QDir(app() + QStringLiteral("/language")).removeRecursively());
        config->ReadConfig();
        QCOMPARE(config->GetLanguage(), QString());
        QCOMPARE(config->GetPInfo(), QStringLiteral("top-level text"));
        QVERIFY(!QFile::exists(app() + QStringLiteral("/language/language")));
    }

    // The ".qm" file is chosen by the language name: a listed name containing
    // "<language>.qm", else "English.qm".
    void choosesTheTranslationByLanguage_data() {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("expectedUpdateText");
        QTest::newRow("Deutsch") << QByteArray("Deutsch") << QStringLiteral("Aktualisieren");
        QTest::newRow("empty file means English") << QByteArray() << QStringLiteral("Update (en)");
        QTest::newRow("unknown language") << QByteArray("Klingon") << QStringLiteral("Update (en)");
        QTest::newRow("line end kept") << QByteArray("Deutsch\n") << QStringLiteral("Update (en)");
    }
    void choosesTheTranslationByLanguage() {
        QFETCH(QByteArray, language);
        QFETCH(QString, expectedUpdateText);
        QVERIFY(writeFile(app() + QStringLiteral("/language/language"), language));
        installQm(QStringLiteral("Deutsch.qm"), QStringLiteral("Deutsch.qm"));
        // An "English.qm" that can be told apart from no translation at all.
        QVERIFY(writeFile(qmFolder() + QStringLiteral("English.qm"), readFile(QStringLiteral(ZN_TEST_ENGLISH_QM))));

        QTranslator translator;
        QVERIFY(loadTranslation(&translator));
        QCOMPARE(QCoreApplication::translate("LiveUpdate", "Update"), expectedUpdateText);
        QCoreApplication::removeTranslator(&translator);
    }

    void noTranslationWithoutQmFiles() {
        QTranslator translator;
        QVERIFY(!loadTranslation(&translator));  // no folder
        QDir().mkpath(qmFolder());
        QVERIFY(!loadTranslation(&translator));  // empty folder
        QVERIFY(translator.isEmpty());
        QCOMPARE(QCoreApplication::translate("LiveUpdate", "Update"), QStringLiteral("Update"));
    }

    void skinFolder_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << QStringLiteral("<app>/skin/");
        QTest::newRow("no slash") << QStringLiteral("/opt/skins/blue") << QStringLiteral("/opt/skins/blue/");
        QTest::newRow("slash") << QStringLiteral("/opt/skins/blue/") << QStringLiteral("/opt/skins/blue/");
        QTest::newRow("one character") << QStringLiteral("x") << QStringLiteral("x");
    }
    void skinFolder() {
        QFETCH(QString, flag);
        QFETCH(QString, expected);
        QCOMPARE(skinFolderFor(flag), QString(expected).replace(QStringLiteral("<app>"), app()));
    }

    void extraNoteFromTheCommandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("note");
        QTest::newRow("double dash") << QStringList{"Velkin", "--extraNote=abc"} << true << QStringLiteral("abc");
        QTest::newRow("later wins") << QStringList{"Velkin", "-extraNote=a", "--extraNote=b c"} << true
                                    << QStringLiteral("b c");
        QTest::newRow("case matters") << QStringList{"Velkin", "--extranote=abc"} << false << QString();
        QTest::newRow("empty note") << QStringList{"Velkin", "--extraNote="} << true << QString();
    }
    void extraNoteFromTheCommandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, found);
        QFETCH(QString, note);
        bool gotFound = !found;
        QCOMPARE(extraNoteFromArguments(arguments, &gotFound), note);
        QCOMPARE(gotFound, found);
    }
};

QTEST_GUILESS_MAIN(UpdaterSettingsTest)
#include "tst_updater_settings.moc"
