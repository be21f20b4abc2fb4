// The file-version reader, over fixture files that carry version blocks of
// chosen shapes, and over this program's own file.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "toolkit/ZnUtility.h"
#include "platform/VersionInfo.h"

namespace {

using Translations = QList<QPair<uint16_t, uint16_t>>;
using Entries = QList<QPair<QString, QString>>;

// A file that looks like a binary: some bytes, the block, some more bytes.
QString writeFixture(const QTemporaryDir& dir, const QString& name, const QByteArray& block) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return QString();
    file.write(QByteArray(3000, '\x7f'));
    file.write(block);
    file.write(QByteArray(500, '\0'));
    return path;
}

}  // namespace

class tst_ZnUtility : public QObject {
    Q_OBJECT
private slots:
    void fileVersion_data();
    void fileVersion();
    void missingFileGivesEmptyText();
    void ownProgramFile();
    void driverServices();

private:
    QTemporaryDir m_dir;
};

void tst_ZnUtility::fileVersion_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("version");

    QTest::newRow("string entry, not the fixed version")
        << platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "2.1"}}, "2.1.0.0") << "2.1";
    QTest::newRow("text taken whole") << platform::makeVersionBlock({{0x0409, 0x04b0}},
                                                                    {{"040904b0\\FileVersion", "1.2.0.5 (beta)"}})
                                      << "1.2.0.5 (beta)";
    QTest::newRow("first of two translations")
        << platform::makeVersionBlock({{0x0407, 0x04e4}, {0x0409, 0x04b0}},
                                      {{"040904b0\\FileVersion", "9.9"}, {"040704e4\\FileVersion", "3.0"}})
        << "3.0";
    QTest::newRow("second translation never tried")
        << platform::makeVersionBlock({{0x0407, 0x04e4}, {0x0409, 0x04b0}}, {{"040904b0\\FileVersion", "9.9"}}) << "";
    QTest::newRow("translation without FileVersion")
        << platform::makeVersionBlock({{0x0409, 0x04b0}}, {{"040904b0\\ProductName", "Corvane"}}, "2.0.1.6") << "";
    QTest::newRow("small language and code page padded")
        << platform::makeVersionBlock({{0x0009, 0x0001}}, {{"00090001\\FileVersion", "4.5"}}) << "4.5";
    QTest::newRow("no translation") << platform::makeVersionBlock({}, {{"040904b0\\FileVersion", "2.1"}}, "2.1.0.0")
                                    << "";
    QTest::newRow("no version block") << QByteArray("just bytes, no version here") << "";
    QTest::newRow("empty file") << QByteArray() << "";
}

void tst_ZnUtility::fileVersion() {
    QFETCH(QByteArray, content);
    QFETCH(QString, version);
    QVERIFY(m_dir.isValid());
    const QString path = writeFixture(m_dir, QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_'), content);
    QVERIFY(!path.isEmpty());
    ZnUtility utility;
    QCOMPARE(utility.getFileVersion(path), version);
}

void tst_ZnUtility::missingFileGivesEmptyText() {
    ZnUtility utility;
    QCOMPARE(utility.getFileVersion(m_dir.filePath("does-not-exist.exe")), QString());
    QCOMPARE(utility.getFileVersion(QString()), QString());
}

void tst_ZnUtility::ownProgramFile() {
    // This test program embeds the product's block as every shipped binary does.
    ZnUtility utility;
    QCOMPARE(utility.getFileVersion(QCoreApplication::applicationFilePath()), QStringLiteral(ZN_PRODUCT_VERSION));
}

void tst_ZnUtility::driverServices() { QVERIFY(ZnUtility().enumDriverServices()); }

QTEST_GUILESS_MAIN(tst_ZnUtility)
#include "tst_ZnUtility.moc"
